// D3DX from its library, loading the effect from the module's resource, and
// what the user sees when either is refused.
#include <cstring>

#include "engine_fixture.h"
#include "show_error.h"
#include "plugin_module.h"

namespace {

using Texts = std::vector<std::wstring>;
const wchar_t* const effectLoadFailed = ErrorTextOf(errorEffectLoad);
const wchar_t* const d3dxMissing = ErrorTextOf(errorD3dxMissing);

// --- a stand-in for D3DXCreateEffectFromResourceW ---------------------------

struct EffectRequest {
    IDirect3DDevice9* device;
    HMODULE module;
    LPCWSTR resource;
    const D3DXMACRO* defines;
    ID3DXInclude* include;
    DWORD flags;
    ID3DXEffectPool* pool;
    bool errorsWanted;
};

CreateEffectFromResourceFunction realCreateEffect;
std::vector<EffectRequest> effectRequests;
bool effectCreationFails;
HRESULT effectFailure;
ID3DXBuffer* errorsToReturn;

HRESULT WINAPI CreateEffectAsTold(IDirect3DDevice9* device, HMODULE module, LPCWSTR resource,
                                  const D3DXMACRO* defines, ID3DXInclude* include, DWORD flags,
                                  ID3DXEffectPool* pool, ID3DXEffect** effect, ID3DXBuffer** errors)
{
    effectRequests.push_back(
        {device, module, resource, defines, include, flags, pool, errors != nullptr});
    if (!effectCreationFails) {
        return realCreateEffect(device, module, resource, defines, include, flags, pool, effect,
                                errors);
    }
    if (errors != nullptr) {
        *errors = errorsToReturn;
        if (errorsToReturn != nullptr) {
            errorsToReturn->AddRef();  // handed over; the test keeps its own
        }
    }
    return effectFailure;
}

// The engine's effect creation goes through CreateEffectAsTold; without a
// failure armed it passes every call on. D3DX is loaded into the record
// first, so that device creation keeps the stand-in.
void RedirectEffectCreation(CorrectionEngine* engine)
{
    effectRequests.clear();
    effectCreationFails = false;
    errorsToReturn = nullptr;
    ASSERT_TRUE(LoadD3dx(engine, d3dxLibraryName));
    realCreateEffect = engine->createEffectFromResource;
    engine->createEffectFromResource = &CreateEffectAsTold;
}

void FailEffectCreation(HRESULT result, ID3DXBuffer* errors)
{
    effectCreationFails = true;
    effectFailure = result;
    errorsToReturn = errors;
}

// A compiler buffer holding exactly these bytes.
ID3DXBuffer* MakeBuffer(const char* bytes, DWORD size)
{
    ID3DXBuffer* buffer = nullptr;
    EXPECT_EQ(D3DXCreateBuffer(size, &buffer), D3D_OK);
    if (buffer != nullptr && size != 0) {
        std::memcpy(buffer->GetBufferPointer(), bytes, size);
    }
    return buffer;
}

// --- a guarded calloc ----------------------------------------------------------
// While armed, the module's calloc hands out one block from the middle of a
// marked arena, so any write outside the block shows in the marks.

typedef void*(__cdecl* CallocFunction)(size_t, size_t);
typedef void(__cdecl* FreeFunction)(void*);
constexpr size_t arenaSize = 512;
constexpr size_t blockOffset = 128;
constexpr unsigned char arenaMark = 0xA5;
unsigned char arena[arenaSize];
size_t blockBytes;
int guardedBlocksGiven;
CallocFunction realCalloc;
FreeFunction realFree;

void* __cdecl GuardedCalloc(size_t count, size_t size)
{
    if (guardedBlocksGiven == 0 && count * size <= arenaSize - 2 * blockOffset) {
        ++guardedBlocksGiven;
        blockBytes = count * size;
        std::memset(arena + blockOffset, 0, blockBytes);
        return arena + blockOffset;
    }
    return realCalloc(count, size);
}

void __cdecl GuardedFree(void* block)
{
    if (block != arena + blockOffset) {
        realFree(block);
    }
}

void GuardCalloc()
{
    std::memset(arena, arenaMark, sizeof arena);
    blockBytes = 0;
    guardedBlocksGiven = 0;
    HMODULE module = GetModuleHandleW(nullptr);
    realCalloc = reinterpret_cast<CallocFunction>(PatchPointer(
        FindImportEntry(module, "msvcrt.dll", "calloc"), reinterpret_cast<void*>(&GuardedCalloc)));
    realFree = reinterpret_cast<FreeFunction>(PatchPointer(
        FindImportEntry(module, "msvcrt.dll", "free"), reinterpret_cast<void*>(&GuardedFree)));
}

// Offsets of arena bytes outside the block that no longer hold the mark.
std::vector<size_t> ArenaDamage()
{
    std::vector<size_t> damaged;
    for (size_t i = 0; i < arenaSize; ++i) {
        bool inBlock = i >= blockOffset && i < blockOffset + blockBytes;
        if (!inBlock && arena[i] != arenaMark) {
            damaged.push_back(i);
        }
    }
    return damaged;
}

void ExpectNoEffectAndNoDevice(const CorrectionEngine& engine)
{
    EXPECT_EQ(engine.effect, nullptr);
    EXPECT_EQ(engine.parameters[parameterYcOffs], nullptr);
    for (D3DXHANDLE technique : engine.techniques) {
        EXPECT_EQ(technique, nullptr);
    }
    EXPECT_EQ(engine.device, nullptr);
    EXPECT_EQ(engine.direct3d, nullptr);
    EXPECT_EQ(engine.vertexDeclaration, nullptr);
}

}  // namespace

TEST_F(EngineTest, D3dxComesFromItsLibraryAndGoesWithTheEngine)
{
    CreateReadyEngine();
    HMODULE d3dx = GetModuleHandleW(d3dxLibraryName);
    ASSERT_NE(d3dx, nullptr);
    EXPECT_EQ(engine.d3dxModule, d3dx);
    EXPECT_EQ(reinterpret_cast<void*>(engine.createEffectFromResource),
              reinterpret_cast<void*>(GetProcAddress(d3dx, "D3DXCreateEffectFromResourceW")));
    for (int i = 0; i < 2; ++i) {
        DestroyEngine(&engine);
        EXPECT_EQ(engine.d3dxModule, nullptr);
        EXPECT_EQ(engine.createEffectFromResource, nullptr);
    }
}

TEST_F(EngineTest, AMissingLibraryOrEntryPointNamesTheRuntimeAndHoldsNothing)
{
    // A library of this project without D3DX's entry point, and no library.
    const std::wstring withoutEntryPoint = PathBesideProgram(L"no_table_filter.auf");
    ASSERT_TRUE(LoadD3dx(&engine, d3dxLibraryName));
    for (const std::wstring& library : {withoutEntryPoint, std::wstring(L"kelvo_no_such.dll")}) {
        SCOPED_TRACE(testing::PrintToString(library));
        EXPECT_FALSE(LoadD3dx(&engine, library.c_str()));
        EXPECT_EQ(TakeErrorBoxTexts(), Texts{d3dxMissing});
        EXPECT_EQ(engine.d3dxModule, nullptr);
        EXPECT_EQ(engine.createEffectFromResource, nullptr);
        EXPECT_EQ(GetModuleHandleW(withoutEntryPoint.c_str()), nullptr) << "left loaded";
    }
}

TEST_F(EngineTest, EffectComesFromResource104OfTheHostGivenModule)
{
    RedirectEffectCreation(&engine);
    CreateReadyEngine();
    ASSERT_EQ(effectRequests.size(), 1u);
    const EffectRequest& request = effectRequests[0];
    EXPECT_EQ(request.device, engine.device);
    EXPECT_EQ(request.module, context.moduleInstance);
    EXPECT_EQ(request.resource, MAKEINTRESOURCEW(104));
    EXPECT_EQ(request.defines, nullptr);
    EXPECT_EQ(request.include, nullptr);
    EXPECT_EQ(request.flags, static_cast<DWORD>(D3DXFX_NOT_CLONEABLE));
    EXPECT_EQ(request.pool, nullptr);
    EXPECT_TRUE(request.errorsWanted);
}

TEST_F(EngineTest, CompilerTextIsShownBeforeTheLoadFailure)
{
    const char text[] = "ColorCorrection.fx(12,5): error X3004: undeclared identifier 'ycGain'\n";
    ID3DXBuffer* errors = MakeBuffer(text, sizeof text);
    RedirectEffectCreation(&engine);
    FailEffectCreation(D3DXERR_INVALIDDATA, errors);

    EXPECT_FALSE(CreateDevice());
    Texts expected = {L"ColorCorrection.fx(12,5): error X3004: undeclared identifier 'ycGain'\n",
                      effectLoadFailed};
    EXPECT_EQ(TakeErrorBoxTexts(), expected);
    EXPECT_EQ(errors->Release(), 0u) << "the engine must release the error buffer exactly once";
    ExpectNoEffectAndNoDevice(engine);
}

TEST_F(EngineTest, LastByteOfTheCompilerTextIsTakenForItsEnd)
{
    ID3DXBuffer* errors = MakeBuffer("abcd", 4);
    RedirectEffectCreation(&engine);
    FailEffectCreation(E_FAIL, errors);
    GuardCalloc();

    EXPECT_FALSE(CreateDevice());
    EXPECT_EQ(TakeErrorBoxTexts(), (Texts{L"abc", effectLoadFailed}));
    EXPECT_EQ(guardedBlocksGiven, 1) << "the text should be widened in a calloc'd block";
    EXPECT_EQ(ArenaDamage(), std::vector<size_t>());
    errors->Release();
}

TEST_F(EngineTest, EmptyErrorBufferShowsAnEmptyLineAndWritesNothingOutside)
{
    ID3DXBuffer* errors = MakeBuffer(nullptr, 0);
    ASSERT_NE(errors->GetBufferPointer(), nullptr) << "D3DX gave no pointer for 0 bytes";
    RedirectEffectCreation(&engine);
    FailEffectCreation(E_FAIL, errors);
    GuardCalloc();

    EXPECT_FALSE(CreateDevice());
    EXPECT_EQ(TakeErrorBoxTexts(), (Texts{L"", effectLoadFailed}));
    EXPECT_EQ(ArenaDamage(), std::vector<size_t>()) << "written outside the text";
    EXPECT_EQ(errors->Release(), 0u);
    ExpectNoEffectAndNoDevice(engine);
}

TEST_F(EngineTest, FailureWithoutCompilerTextShowsOnlyTheLoadFailure)
{
    RedirectEffectCreation(&engine);
    FailEffectCreation(E_OUTOFMEMORY, nullptr);
    EXPECT_FALSE(CreateDevice());
    EXPECT_EQ(TakeErrorBoxTexts(), Texts{effectLoadFailed});
    ExpectNoEffectAndNoDevice(engine);
}

TEST_F(EngineTest, ModuleWithoutTheResourceFailsToLoad)
{
    context.moduleInstance = GetModuleHandleW(L"kernel32.dll");
    EXPECT_FALSE(CreateDevice());
    Texts messages = TakeErrorBoxTexts();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), effectLoadFailed);
    ExpectNoEffectAndNoDevice(engine);
}

TEST_F(EngineTest, LoadEffectNeedsADeviceAndReplacesAnEarlierEffect)
{
    EXPECT_EQ(LoadEffect(&engine, EffectModule()), D3DERR_INVALIDCALL);

    CreateReadyEngine();
    ID3DXEffect* first = engine.effect;
    first->AddRef();
    EXPECT_EQ(LoadEffect(&engine, EffectModule()), D3D_OK);
    EXPECT_NE(engine.effect, first);
    EXPECT_NE(engine.parameters[parameterYcOffs], nullptr);
    EXPECT_EQ(first->Release(), 0u) << "the earlier effect was not released";
}
