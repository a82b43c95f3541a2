// The registration table as the host sees it: read from the shipped DLL as
// raw 32-bit words at their offsets, so a wrong struct layout on our side
// cannot hide a wrong table.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "plugin_module.h"
#include "session/host_session.h"
#include "core/correction_tracks.h"

namespace {

uint32_t WordAt(const void* table, size_t offset)
{
    uint32_t word;
    std::memcpy(&word, static_cast<const char*>(table) + offset, sizeof word);
    return word;
}

template <typename T>
const T* PointerAt(const void* table, size_t offset)
{
    return reinterpret_cast<const T*>(static_cast<uintptr_t>(WordAt(table, offset)));
}

std::string StringAt(const void* table, size_t offset)
{
    const char* text = PointerAt<char>(table, offset);
    return text != nullptr ? std::string(text) : std::string("<null>");
}

// Whether an address lies inside the module's mapped image: the table must
// point only at the plug-in's own static data and code.
bool InsideModule(HMODULE module, uint32_t address)
{
    auto base = reinterpret_cast<const unsigned char*>(module);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    uintptr_t start = reinterpret_cast<uintptr_t>(base);
    return address >= start && address < start + nt->OptionalHeader.SizeOfImage;
}

struct Track {
    const char* caption;
    int32_t minimum;
    int32_t maximum;
};

const Track expectedTracks[trackCount] = {
    {"Y(offs)", -256, 256},  {"Y(gain)", -256, 256},  {"Cb(offs)", -256, 256},
    {"Cb(gain)", -256, 256}, {"Cr(offs)", -256, 256}, {"Cr(gain)", -256, 256},
    {"R(offs)", -256, 256},  {"R(gain)", -256, 256},  {"R(gamm)", -256, 256},
    {"G(offs)", -256, 256},  {"G(gain)", -256, 256},  {"G(gamm)", -256, 256},
    {"B(offs)", -256, 256},  {"B(gain)", -256, 256},  {"B(gamm)", -256, 256},
    {"Format", 0, 4},
};

// Everything the host can read through the table, flattened, so that two
// reads can be compared for any change at all.
std::vector<unsigned char> Snapshot(const void* table)
{
    std::vector<unsigned char> bytes(static_cast<const unsigned char*>(table),
                                     static_cast<const unsigned char*>(table) + 140);
    auto append = [&bytes](const void* data, size_t size) {
        auto p = static_cast<const unsigned char*>(data);
        bytes.insert(bytes.end(), p, p + size);
    };
    for (int i = 0; i < 16; ++i) {
        std::string caption(PointerAt<const char*>(table, 20)[i]);
        append(caption.c_str(), caption.size() + 1);
    }
    append(PointerAt<int32_t>(table, 24), 16 * 4);
    append(PointerAt<int32_t>(table, 28), 16 * 4);
    append(PointerAt<int32_t>(table, 32), 16 * 4);
    std::string check(PointerAt<const char*>(table, 40)[0]);
    append(check.c_str(), check.size() + 1);
    append(PointerAt<int32_t>(table, 44), 4);
    for (size_t offset : {12u, 84u}) {
        std::string text = StringAt(table, offset);
        append(text.c_str(), text.size() + 1);
    }
    return bytes;
}

class FilterTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(LoadPlugin(&plugin));
        table = plugin.getFilterTable();
        ASSERT_NE(table, nullptr);
    }
    void TearDown() override { UnloadPlugin(&plugin); }

    LoadedPlugin plugin;
    const void* table = nullptr;
};

TEST_F(FilterTableTest, ExportIsReachableByNameAndOrdinalAndAlwaysReturnsTheSameTable)
{
    FARPROC byOrdinal = GetProcAddress(plugin.module, MAKEINTRESOURCEA(1));
    EXPECT_EQ(reinterpret_cast<void*>(byOrdinal), reinterpret_cast<void*>(plugin.getFilterTable));
    EXPECT_EQ(GetProcAddress(plugin.module, MAKEINTRESOURCEA(2)), nullptr);
    EXPECT_EQ(plugin.getFilterTable(), table);
    EXPECT_EQ(plugin.getFilterTable(), table);
    EXPECT_TRUE(InsideModule(plugin.module, reinterpret_cast<uintptr_t>(table)));
}

TEST_F(FilterTableTest, ScalarFieldsAndTexts)
{
    EXPECT_EQ(WordAt(table, 0), 0x00040000u);
    EXPECT_EQ(WordAt(table, 4), 0u);
    EXPECT_EQ(WordAt(table, 8), 0u);
    EXPECT_EQ(StringAt(table, 12), "Tarnel(Prof)");
    EXPECT_EQ(WordAt(table, 16), 16u);
    EXPECT_EQ(WordAt(table, 36), 1u);
    EXPECT_EQ(StringAt(table, 84), "kelvo by Orvin, ver1.9");
}

TEST_F(FilterTableTest, EveryFieldTheTableDoesNotSetIsZero)
{
    // trackValues, checkValues, two host fields, two more host fields,
    // hostFunctions, window, moduleInstance, and the eight trailing fields.
    for (size_t offset : {68u, 72u, 76u, 80u, 88u, 92u, 96u, 100u, 104u}) {
        EXPECT_EQ(WordAt(table, offset), 0u) << "offset " << offset;
    }
    for (size_t offset = 108; offset < 140; offset += 4) {
        EXPECT_EQ(WordAt(table, offset), 0u) << "offset " << offset;
    }
}

TEST_F(FilterTableTest, SixteenTracksWithCaptionsRangesAndDefaults)
{
    auto names = PointerAt<const char*>(table, 20);
    auto defaults = PointerAt<int32_t>(table, 24);
    auto minimums = PointerAt<int32_t>(table, 28);
    auto maximums = PointerAt<int32_t>(table, 32);
    ASSERT_NE(names, nullptr);
    ASSERT_NE(defaults, nullptr);
    ASSERT_NE(minimums, nullptr);
    ASSERT_NE(maximums, nullptr);
    for (int i = 0; i < 16; ++i) {
        SCOPED_TRACE("track " + std::to_string(i));
        ASSERT_NE(names[i], nullptr);
        EXPECT_STREQ(names[i], expectedTracks[i].caption);
        EXPECT_EQ(minimums[i], expectedTracks[i].minimum);
        EXPECT_EQ(maximums[i], expectedTracks[i].maximum);
        EXPECT_EQ(defaults[i], 0);
        EXPECT_TRUE(InsideModule(plugin.module, reinterpret_cast<uintptr_t>(names[i])));
    }
}

TEST_F(FilterTableTest, OneCheckBoxWithItsShiftJisCaptionAndOffByDefault)
{
    const unsigned char expected[] = {0x52, 0x47, 0x42, 0x82, 0xF0, 0x93, 0xAF, 0x8A,
                                      0xFA, 0x82, 0xB3, 0x82, 0xB9, 0x82, 0xE9, 0x00};
    auto names = PointerAt<const char*>(table, 40);
    ASSERT_NE(names, nullptr);
    ASSERT_NE(names[0], nullptr);
    EXPECT_EQ(std::memcmp(names[0], expected, sizeof expected), 0);

    // The bytes are Shift-JIS for the caption's Japanese text.
    wchar_t wide[32] = {};
    int length = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, names[0], -1, wide, 32);
    EXPECT_EQ(length, 10);  // nine characters and the terminator
    EXPECT_STREQ(wide, L"RGB\u3092\u540C\u671F\u3055\u305B\u308B");

    auto defaults = PointerAt<int32_t>(table, 44);
    ASSERT_NE(defaults, nullptr);
    EXPECT_EQ(defaults[0], 0);
}

TEST_F(FilterTableTest, CallbacksPointIntoTheModule)
{
    for (size_t offset : {48u, 52u, 56u, 60u, 64u}) {
        uint32_t callback = WordAt(table, offset);
        EXPECT_NE(callback, 0u) << "offset " << offset;
        EXPECT_TRUE(InsideModule(plugin.module, callback)) << "offset " << offset;
    }
    // Five distinct functions.
    for (size_t a = 48; a < 68; a += 4) {
        for (size_t b = a + 4; b < 68; b += 4) {
            EXPECT_NE(WordAt(table, a), WordAt(table, b)) << a << " vs " << b;
        }
    }
}

TEST_F(FilterTableTest, TableReadsTheSameAfterEveryCallback)
{
    const std::vector<unsigned char> before = Snapshot(table);
    const FilterTable* typed = static_cast<const FilterTable*>(table);

    // The development host's context, made from the table.
    HostSession session;
    std::string error;
    ASSERT_TRUE(OpenSession(&session, PathBesideProgram(L"kelvo.auf"), &error)) << error;
    EXPECT_EQ(session.table, typed);
    NotifyUpdate(&session);
    SendHostMessage(&session, WM_USER, 0, 0);
    EXPECT_EQ(typed->onExit(&session.context), 1);
    CloseSession(&session);
    EXPECT_EQ(plugin.getFilterTable(), table);
    EXPECT_EQ(Snapshot(table), before);
}

TEST_F(FilterTableTest, VersionResourceNamesTheFileAndVersion)
{
    std::wstring path = PathBesideProgram(L"kelvo.auf");
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<unsigned char> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    // 1.9.0.6, as project() sets it; a new version is written here too.
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010009u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000006u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010009u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000006u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, sizeof(Translation));
    wchar_t block[64];
    auto value = [&](const wchar_t* name) {
        swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
                 translation->codePage, name);
        wchar_t* text = nullptr;
        UINT chars = 0;
        if (!VerQueryValueW(data.data(), block, reinterpret_cast<void**>(&text), &chars)) {
            return std::wstring(L"<missing>");
        }
        return std::wstring(text);
    };
    EXPECT_EQ(value(L"InternalName"), L"kelvo.auf");
    EXPECT_EQ(value(L"OriginalFilename"), L"kelvo.auf");
    EXPECT_EQ(value(L"FileVersion"), L"1.9.0.6");
    EXPECT_EQ(value(L"ProductVersion"), L"1.9.0.6");
}

}  // namespace
