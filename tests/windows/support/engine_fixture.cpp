#include "engine_fixture.h"

#include "plugin_module.h"

HMODULE EffectModule()
{
    static HMODULE plugin = LoadLibraryW(PathBesideProgram(L"kelvo.auf").c_str());
    return plugin;
}

void EngineTest::SetUp()
{
    HMODULE underTest = GetModuleHandleW(nullptr);
    InstallMessageCapture(underTest);
    TakeMessages();
    TakeDebuggerLines();
    StartDirect3DTracking(underTest);
    InitEngine(&engine, &correctionFilter);
    // Cleared, so that a test sees what sets it.
    engine.reallocNeeded = false;
    context = {};
    context.window = TestWindow();
    context.moduleInstance = EffectModule();
    ASSERT_NE(context.moduleInstance, nullptr) << "kelvo.auf could not be loaded";
}

void EngineTest::TearDown()
{
    RestorePatchedPointers();
    DestroyEngine(&engine);
    EXPECT_EQ(TakeMessageTexts(), std::vector<std::wstring>()) << "messages nobody looked at";
    EXPECT_EQ(ReleaseTrackedDevice(), 0u) << "the engine left a reference on the device";
    EXPECT_EQ(ReleaseTrackedDirect3D(), 0u) << "the engine left a reference on Direct3D";
}

void EngineTest::StartOver()
{
    TearDown();
    SetUp();
}

bool EngineTest::CreateDevice()
{
    return CreateEngineDevice(&engine, &context);
}

void EngineTest::CreateReadyEngine()
{
    ASSERT_TRUE(CreateDevice());
    ASSERT_EQ(TakeErrorBoxTexts(), std::vector<std::wstring>());
}

uint16_t X87ControlWord()
{
    uint16_t word = 0;
    asm volatile("fnstcw %0" : "=m"(word));
    return word;
}

void SetX87ControlWord(uint16_t word)
{
    asm volatile("fldcw %0" : : "m"(word));
}
