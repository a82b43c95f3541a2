#include "session/host_session.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "host_interface/debug_window.h"
#include "wide_text.h"

namespace {

typedef FilterTable*(__cdecl* GetFilterTableFunction)();

constexpr wchar_t settingsWindowClass[] = L"KelvoFilterHostSettings";
constexpr int largestTrackCount = 4096;

// Host functions receive only the context; find the session it belongs to.
std::vector<HostSession*> openSessions;

HostSession* SessionOfContext(FilterContext* context)
{
    for (HostSession* s : openSessions) {
        if (&s->context == context) {
            return s;
        }
    }
    return nullptr;
}

int32_t __cdecl HostRefreshWindow(FilterContext* context)
{
    if (HostSession* s = SessionOfContext(context)) {
        ++s->refreshCalls;
        if (s->settingsWindow != nullptr) {
            InvalidateRect(s->settingsWindow, nullptr, FALSE);
        }
    }
    return 1;
}

int32_t __cdecl HostIsActive(FilterContext* context)
{
    HostSession* s = SessionOfContext(context);
    if (s == nullptr) {
        return 0;
    }
    ++s->isActiveCalls;
    return s->active ? 1 : 0;
}

bool RegisterSettingsClass()
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = settingsWindowClass;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

std::string SystemMessage(DWORD code)
{
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = length > 0 ? Utf8FromWide(buffer) : std::string();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    return "error " + std::to_string(code) + (text.empty() ? "" : ": " + text);
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

struct DebugWindowSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchDebugWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<DebugWindowSearch*>(parameter);
    wchar_t className[16];
    wchar_t title[16];
    if (GetWindow(window, GW_OWNER) != search->owner || GetClassNameW(window, className, 16) == 0 ||
        lstrcmpiW(className, L"Edit") != 0 || GetWindowTextW(window, title, 16) == 0) {
        return TRUE;
    }
    if (lstrcmpW(title, debugWindowTitle) == 0 ||
        std::wcsncmp(title, debugSizeLineStart, debugSizeLineStartLength) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::string FromShiftJis(const char* text)
{
    if (text == nullptr) {
        return "(null)";
    }
    int length = MultiByteToWideChar(932, 0, text, -1, nullptr, 0);
    if (length == 0) {
        return "(unreadable)";
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(932, 0, text, -1, &wide[0], length);
    return Utf8FromWide(wide.c_str());
}

namespace {

// The plug-in's module, or why it cannot be loaded.
bool LoadPluginModule(HostSession* session, const std::string& name, std::string* error)
{
    session->module = LoadLibraryW(session->path.c_str());
    if (session->module != nullptr) {
        return true;
    }
    DWORD code = GetLastError();
    *error = "cannot load " + name + " (" + SystemMessage(code) + ")";
    if (code == ERROR_BAD_EXE_FORMAT) {
        *error = "cannot load " + name +
                 " as a plug-in: it is not a 32-bit Windows DLL (error 193); an argument "
                 "without an option names the plug-in to load: to read a file, give --input " +
                 name;
    }
    if (GetFileAttributesW(session->path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        *error = "cannot load " + name + ": no such file";
    }
    return false;
}

// The registration table, with the counts and callbacks filterhost relies on.
bool ReadFilterTable(HostSession* session, const std::string& name, std::string* error)
{
    auto getFilterTable = reinterpret_cast<GetFilterTableFunction>(
        reinterpret_cast<void*>(GetProcAddress(session->module, "GetFilterTable")));
    if (getFilterTable == nullptr) {
        *error = name + " is not a filter plug-in: it does not export GetFilterTable";
        return false;
    }
    session->table = getFilterTable();
    const FilterTable* t = session->table;
    if (t == nullptr) {
        *error = name + ": GetFilterTable returned null";
        return false;
    }
    if (t->trackCount < 0 || t->trackCount > largestTrackCount || t->checkCount < 0 ||
        t->checkCount > largestTrackCount || t->onInit == nullptr || t->onProcess == nullptr ||
        t->onExit == nullptr) {
        *error = name + ": the registration table is not usable (track or check count out of "
                        "range, or a missing onInit, onProcess or onExit)";
        return false;
    }
    return true;
}

// The sliders and check boxes at the table's defaults.
void TakeDefaults(HostSession* session)
{
    const FilterTable* t = session->table;
    // The reference model reads sixteen tracks whatever the plug-in declares.
    session->trackValues.assign(std::max<size_t>(16, static_cast<size_t>(t->trackCount)), 0);
    session->checkValues.assign(std::max<size_t>(1, static_cast<size_t>(t->checkCount)), 0);
    for (int i = 0; i < t->trackCount && t->trackDefaults != nullptr; ++i) {
        session->trackValues[i] = t->trackDefaults[i];
    }
    for (int i = 0; i < t->checkCount && t->checkDefaults != nullptr; ++i) {
        session->checkValues[i] = t->checkDefaults[i];
    }
}

// The window the host gives the plug-in as its settings window.
bool OpenSettingsWindow(HostSession* session, std::string* error)
{
    if (!RegisterSettingsClass()) {
        *error = "cannot register the settings window class (" + SystemMessage(GetLastError()) +
                 ")";
        return false;
    }
    std::wstring title = L"filterhost - " + WideFromUtf8(FromShiftJis(session->table->displayName));
    session->settingsWindow = CreateWindowExW(
        0, settingsWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
        320, 480, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (session->settingsWindow == nullptr) {
        *error = "cannot create the settings window (" + SystemMessage(GetLastError()) + ")";
        return false;
    }
    return true;
}

// The context starts as a copy of the table, as the host's record has the
// table's layout; then the host's own values go in.
void FillContext(HostSession* session)
{
    session->context = *session->table;
    session->functions = HostFunctions{};
    session->functions.refreshWindow = HostRefreshWindow;
    session->functions.isActive = HostIsActive;
    session->context.trackValues = session->trackValues.data();
    session->context.checkValues = session->checkValues.data();
    session->context.hostFunctions = &session->functions;
    session->context.window = session->settingsWindow;
    session->context.moduleInstance = session->module;
}

}  // namespace

bool OpenSession(HostSession* session, const std::wstring& pluginPath, std::string* error)
{
    session->path = pluginPath;
    const std::string name = Utf8FromWide(pluginPath.c_str());
    if (!LoadPluginModule(session, name, error)) {
        return false;
    }
    if (!ReadFilterTable(session, name, error)) {
        CloseSession(session);
        return false;
    }
    TakeDefaults(session);
    if (!OpenSettingsWindow(session, error)) {
        CloseSession(session);
        return false;
    }
    FillContext(session);
    openSessions.push_back(session);
    return true;
}

bool SetTrack(HostSession* session, int index, int32_t value, std::string* error)
{
    if (index < 0 || index >= session->table->trackCount) {
        *error = "track " + std::to_string(index) + " does not exist (the plug-in has " +
                 std::to_string(session->table->trackCount) + ")";
        return false;
    }
    session->trackValues[index] = value;
    return true;
}

bool SetCheck(HostSession* session, int index, int32_t value, std::string* error)
{
    if (index < 0 || index >= session->table->checkCount) {
        *error = "check box " + std::to_string(index) + " does not exist (the plug-in has " +
                 std::to_string(session->table->checkCount) + ")";
        return false;
    }
    session->checkValues[index] = value;
    return true;
}

int32_t StartPlugin(HostSession* session)
{
    session->initCalled = true;
    int32_t result = session->table->onInit(&session->context);
    PumpMessages();
    session->debugWindow = FindDebugWindow(session);
    return result;
}

int32_t NotifyUpdate(HostSession* session)
{
    if (session->table->onUpdate == nullptr) {
        return 0;
    }
    return session->table->onUpdate(&session->context, 0);
}

int32_t SendHostMessage(HostSession* session, uint32_t message, int32_t wParam, int32_t lParam)
{
    if (session->table->onWindowMessage == nullptr) {
        return 0;
    }
    return session->table->onWindowMessage(session->settingsWindow, message, wParam, lParam,
                                           nullptr, &session->context);
}

FrameResult ProcessFrame(HostSession* session, YCFrame* frame)
{
    FrameInfo info = {};
    info.pixels = frame->pixels.data();
    info.width = frame->width;
    info.height = frame->height;
    info.maxWidth = frame->maxWidth;

    FrameResult result;
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    result.returned = session->table->onProcess(&session->context, &info);
    QueryPerformanceCounter(&end);
    result.hostSeconds = static_cast<double>(end.QuadPart - start.QuadPart) /
                         static_cast<double>(frequency.QuadPart);
    result.paddingIntact = PaddingIntact(*frame);
    PumpMessages();
    result.hasDebugText = ReadDebugText(session, &result.debugText);
    return result;
}

HWND FindDebugWindow(const HostSession* session)
{
    if (session->settingsWindow == nullptr) {
        return nullptr;
    }
    if (session->debugWindow != nullptr && IsWindow(session->debugWindow) &&
        GetWindow(session->debugWindow, GW_OWNER) == session->settingsWindow) {
        return session->debugWindow;
    }
    DebugWindowSearch search = {session->settingsWindow, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchDebugWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool ReadDebugText(const HostSession* session, std::string* text)
{
    HWND window = FindDebugWindow(session);
    if (window == nullptr) {
        text->clear();
        return false;
    }
    int length = GetWindowTextLengthW(window);
    std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(window, &wide[0], length + 1);
    wide.resize(static_cast<size_t>(std::max(copied, 0)));
    *text = Utf8FromWide(wide.c_str());
    return true;
}

void CloseSession(HostSession* session)
{
    if (session->initCalled && session->table != nullptr) {
        session->table->onExit(&session->context);
        session->initCalled = false;
    }
    openSessions.erase(std::remove(openSessions.begin(), openSessions.end(), session),
                       openSessions.end());
    if (session->settingsWindow != nullptr) {
        DestroyWindow(session->settingsWindow);
        session->settingsWindow = nullptr;
        session->debugWindow = nullptr;
    }
    PumpMessages();
    if (session->module != nullptr) {
        FreeLibrary(session->module);
        session->module = nullptr;
    }
    session->table = nullptr;
}

std::wstring DefaultPluginPath()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder + L"kelvo.auf";
}

std::string DescribeTable(const FilterTable& table)
{
    std::string text;
    char line[256];
    auto add = [&](const char* format, auto... values) {
        std::snprintf(line, sizeof line, format, values...);
        text += line;
    };
    add("name:      %s\n", FromShiftJis(table.displayName).c_str());
    add("info:      %s\n", FromShiftJis(table.infoText).c_str());
    add("flags:     0x%08X\n", static_cast<unsigned>(table.flags));
    add("tracks:    %d\n", static_cast<int>(table.trackCount));
    for (int i = 0; i < table.trackCount && i < largestTrackCount; ++i) {
        add("  %2d %-10s %5d .. %-5d default %d\n", i,
            table.trackNames ? FromShiftJis(table.trackNames[i]).c_str() : "(null)",
            table.trackMinimums ? static_cast<int>(table.trackMinimums[i]) : 0,
            table.trackMaximums ? static_cast<int>(table.trackMaximums[i]) : 0,
            table.trackDefaults ? static_cast<int>(table.trackDefaults[i]) : 0);
    }
    add("checks:    %d\n", static_cast<int>(table.checkCount));
    for (int i = 0; i < table.checkCount && i < largestTrackCount; ++i) {
        add("  %2d %s (default %d)\n", i,
            table.checkNames ? FromShiftJis(table.checkNames[i]).c_str() : "(null)",
            table.checkDefaults ? static_cast<int>(table.checkDefaults[i]) : 0);
    }
    return text;
}
