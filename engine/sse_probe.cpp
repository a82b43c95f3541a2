#include "sse_probe.h"

#include <cpuid.h>
#include <windows.h>

// The trial instruction is written in assembly so that nothing else in this
// file, or in the library, has to be compiled for SSE: a processor without it
// must be able to run everything up to the guard.
asm(".text\n"
    ".globl _KelvoSseTrial\n"
    ".def _KelvoSseTrial; .scl 2; .type 32; .endef\n"
    "_KelvoSseTrial:\n"
    "    xorps %xmm0, %xmm0\n"
    "    ret\n");

namespace {

// EDX bits of CPUID leaf 1: 23 MMX, 25 SSE, 26 SSE2.
constexpr uint32_t cpuidSimdMask = 0x06800000;
constexpr uint32_t cpuidFirstSseBit = 0x01000000;

// One trial at a time on the host's thread; the guard looks at nothing else.
TrialRoutine activeTrial = nullptr;
uint32_t trialExceptionCode = 0;

// GCC has no __try, so the guard is a vectored handler. It claims only an
// exception raised at the first instruction of the active trial routine;
// there the stack still holds just the return address, so the routine is
// left as if it had returned.
LONG CALLBACK TrialGuard(EXCEPTION_POINTERS* info)
{
    if (activeTrial == nullptr ||
        info->ExceptionRecord->ExceptionAddress != reinterpret_cast<void*>(activeTrial)) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    trialExceptionCode = info->ExceptionRecord->ExceptionCode;
    CONTEXT* context = info->ContextRecord;
    context->Eip = *reinterpret_cast<const DWORD*>(context->Esp);
    context->Esp += 4;
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

bool CpuidAllowsSse(uint32_t cpuidLeaf1Edx)
{
    return (cpuidLeaf1Edx & cpuidSimdMask) >= cpuidFirstSseBit;
}

bool TrialAllowsSse(uint32_t exceptionCode)
{
    // Any other exception says nothing about SSE support; only the
    // processor or system refusing the instruction does.
    return exceptionCode != STATUS_ILLEGAL_INSTRUCTION;
}

uint32_t RunGuardedTrial(TrialRoutine trial)
{
    void* guard = AddVectoredExceptionHandler(1, TrialGuard);
    if (guard == nullptr) {
        return STATUS_ILLEGAL_INSTRUCTION;  // cannot run the trial safely
    }
    activeTrial = trial;
    trialExceptionCode = 0;
    trial();
    uint32_t code = trialExceptionCode;
    activeTrial = nullptr;
    RemoveVectoredExceptionHandler(guard);
    return code;
}

bool ProbeSse()
{
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        return false;
    }
    if (!CpuidAllowsSse(edx)) {
        return false;
    }
    return TrialAllowsSse(RunGuardedTrial(KelvoSseTrial));
}
