// Whether the SSE converters may run on this processor and system.
#pragma once

#include <cstdint>

// CPUID leaf 1 and one trial SSE instruction under an exception guard.
bool ProbeSse();

// The CPUID step alone: EDX of leaf 1 masked with MMX, SSE and SSE2; either
// SSE bit lets the trial go ahead, MMX alone does not.
bool CpuidAllowsSse(uint32_t cpuidLeaf1Edx);

// The trial step alone: the exception code raised by the trial (0 for none)
// decides; only an illegal instruction means the system cannot run SSE.
bool TrialAllowsSse(uint32_t exceptionCode);

// Runs a trial routine whose first instruction is the one under test and
// returns the exception code it raised there, or 0. The routine must fault,
// if at all, before it touches the stack: the guard resumes at its return
// address.
typedef void (*TrialRoutine)();
uint32_t RunGuardedTrial(TrialRoutine trial);

// The trial routine of ProbeSse: xorps xmm0, xmm0; ret.
extern "C" void KelvoSseTrial();
