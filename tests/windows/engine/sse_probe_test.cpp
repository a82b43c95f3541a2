// The SSE decision: the CPUID bits, and the guard around the trial
// instruction, exercised with instructions that do fault.
#include <gtest/gtest.h>
#include <windows.h>

#include "sse_probe.h"

// Trial routines whose first instruction faults in a known way.
extern "C" void IllegalInstructionTrial();
extern "C" void AccessViolationTrial();
asm(".text\n"
    ".globl _IllegalInstructionTrial\n"
    "_IllegalInstructionTrial:\n"
    "    ud2\n"
    "    ret\n"
    ".globl _AccessViolationTrial\n"
    "_AccessViolationTrial:\n"
    "    movl 0, %eax\n"
    "    ret\n");

namespace {
constexpr uint32_t mmx = 1u << 23;
constexpr uint32_t sse = 1u << 25;
constexpr uint32_t sse2 = 1u << 26;
}  // namespace

TEST(SseProbe, EitherSseBitPassesTheCpuidStepAndMmxAloneDoesNot)
{
    EXPECT_FALSE(CpuidAllowsSse(0));
    EXPECT_FALSE(CpuidAllowsSse(mmx));
    EXPECT_FALSE(CpuidAllowsSse(~(mmx | sse | sse2))) << "unrelated bits count for nothing";
    EXPECT_TRUE(CpuidAllowsSse(sse));
    EXPECT_TRUE(CpuidAllowsSse(sse2)) << "SSE2 without SSE";
    EXPECT_TRUE(CpuidAllowsSse(mmx | sse));
    EXPECT_TRUE(CpuidAllowsSse(mmx | sse | sse2));
}

TEST(SseProbe, OnlyAnIllegalInstructionRefusesSse)
{
    EXPECT_TRUE(TrialAllowsSse(0));
    EXPECT_FALSE(TrialAllowsSse(STATUS_ILLEGAL_INSTRUCTION));
    EXPECT_TRUE(TrialAllowsSse(STATUS_ACCESS_VIOLATION));
    EXPECT_TRUE(TrialAllowsSse(STATUS_PRIVILEGED_INSTRUCTION));
}

// (Under qemu's i386 emulator a memory fault reaches Wine without its trap
// number, and Wine reports it as an illegal instruction: scripts/wine-run
// says when the tests run there.)
TEST(SseProbe, GuardCatchesAFaultingTrialAndReportsItsCode)
{
    EXPECT_EQ(RunGuardedTrial(IllegalInstructionTrial), STATUS_ILLEGAL_INSTRUCTION);
    const bool emulated = GetEnvironmentVariableW(L"KELVO_I386_EMULATED", nullptr, 0) > 0;
    EXPECT_EQ(RunGuardedTrial(AccessViolationTrial),
              emulated ? STATUS_ILLEGAL_INSTRUCTION : STATUS_ACCESS_VIOLATION);
    // The guard is gone afterwards and leaves later trials unaffected.
    EXPECT_EQ(RunGuardedTrial(KelvoSseTrial), 0u);
    EXPECT_EQ(RunGuardedTrial(IllegalInstructionTrial), STATUS_ILLEGAL_INSTRUCTION);
}

TEST(SseProbe, ThisMachineRunsSse)
{
    // Every processor that runs this Wine has SSE, and the system saves the
    // XMM registers.
    EXPECT_TRUE(ProbeSse());
}
