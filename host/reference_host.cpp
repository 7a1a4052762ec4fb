// The reference host: a small stand-in for the host application. It shows a desktop of objects in
// the main window "QVmain", each object a child window with its caption and its current state; it
// loads every plug-in its objects name, once per library, and drives them through the contract's
// entry points; it keeps every object's data record in a records file between runs.
//
//   reference_host.exe [--desktop FILE] [--records FILE] [--screenshot FILE] [--once | --tour]
//
// Without --desktop the built-in default desktop is used. --once starts, saves and exits; --tour
// runs the scripted tour (tour.h), then starts the host a second time on the same records file to
// show what survived. Exit code 0 unless the tour failed or the host could not start.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host_window.h"
#include "plugin_loader.h"
#include "records.h"
#include "tour.h"

namespace {

using qvhost::LogLine;

constexpr char kObjectClass[] = "QVobject";
constexpr UINT kCmdProperties = 100;
constexpr int kMargin = 10;

enum class Mode { kInteractive, kOnce, kTour, kTourReopened };

struct Options {
    std::string desktopPath;  // empty: the built-in desktop
    std::string recordsPath = "reference_host.records";
    std::string screenshotPath = qvhost::kTourScreenshot;
    Mode mode = Mode::kInteractive;
};

struct Library {
    std::string file;
    std::optional<qv::PluginLibrary> plugin;
    std::string error;
    std::uint32_t recordSize = 0;
};

struct HostObject {
    qvhost::DesktopObject desc;
    HWND window = nullptr;
    qv::ObjectRecord object{};
    Library* library = nullptr;  // null: no plug-in, or it could not be loaded
    std::unique_ptr<std::uint8_t[]> record;  // exactly library->recordSize bytes, at one address
    bool initialised = false;
    bool buttonDown = false;
    bool restored = false;
    // Shown state, read by the tour's thread: guarded by g_lock.
    std::string caption;
    std::string state;
    bool error = false;
    unsigned clicks = 0;
    unsigned propertiesDone = 0;
    std::vector<std::string> shown;
    std::map<std::uint32_t, unsigned> received;
};

Options g_options;
qvhost::Desktop g_desktop;
std::vector<std::unique_ptr<Library>> g_libraries;
std::vector<std::unique_ptr<HostObject>> g_objects;
// Set when the records file exists but could not be read at start: it is never saved over then.
bool g_recordsUnsafe = false;
HWND g_main = nullptr;
SRWLOCK g_lock = SRWLOCK_INIT;
SRWLOCK g_logLock = SRWLOCK_INIT;
bool g_tourPassed = false;
bool g_shutDown = false;

class Exclusive {
public:
    Exclusive() { ::AcquireSRWLockExclusive(&g_lock); }
    ~Exclusive() { ::ReleaseSRWLockExclusive(&g_lock); }
    Exclusive(const Exclusive&) = delete;
    Exclusive& operator=(const Exclusive&) = delete;
};

std::string Format(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string Name(const HostObject& o) { return "\"" + o.desc.caption + "\" (" + std::to_string(o.desc.id) + ")"; }

void LogObject(const HostObject& o, const std::string& text) { LogLine("  " + Name(o) + " " + text); }

std::string Hex(const std::uint8_t* data, std::uint32_t size) {
    std::string text;
    for (std::uint32_t i = 0; i < size; ++i) text += Format(i == 0 ? "%02x" : (i % 4 == 0 ? " %02x" : "%02x"), data[i]);
    return text.empty() ? "(empty)" : text;
}

HostObject* FromWindow(HWND window) {
    return reinterpret_cast<HostObject*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

HostObject* FindObject(std::int32_t id) {
    for (auto& o : g_objects) {
        if (o->desc.id == id) return o.get();
    }
    return nullptr;
}

void SetState(HostObject& o, const std::string& state, bool error) {
    {
        Exclusive lock;
        o.state = state;
        o.error = error;
        if (o.shown.empty() || o.shown.back() != state) o.shown.push_back(state);
    }
    if (o.window != nullptr) ::InvalidateRect(o.window, nullptr, TRUE);
}

// ---- Files ----

constexpr std::uint64_t kMaxFileBytes = 64u << 20;
// How long a save waits for another host's save on the same records file to finish.
constexpr DWORD kSaveLockTimeoutMs = 10000;

struct FileText {
    qvhost::FileRead outcome = qvhost::FileRead::kFailed;
    std::string text;
    std::string failure;  // why it could not be read, when it exists
};

std::string Cause(DWORD error) {
    switch (error) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return Format("another program holds it open (sharing violation, error %lu)", error);
        case ERROR_ACCESS_DENIED:
            return Format("access denied (error %lu)", error);
        default:
            return Format("error %lu", error);
    }
}

// The whole file, or why not. Anything short of every byte is a failed read, never a shorter text.
FileText ReadWholeFile(const std::string& path) {
    FileText result;
    qv::UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            result.outcome = qvhost::FileRead::kMissing;
        } else {
            result.failure = "cannot open it: " + Cause(error);
        }
        return result;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        result.failure = "cannot read its size: " + Cause(::GetLastError());
        return result;
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > kMaxFileBytes) {
        result.failure = Format("it holds %lld bytes, more than %llu", static_cast<long long>(size.QuadPart),
                                static_cast<unsigned long long>(kMaxFileBytes));
        return result;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
            result.failure = Format("reading failed after %zu bytes: ", text.size()) + Cause(::GetLastError());
            return result;
        }
        if (got == 0) break;
        text.append(buffer, got);
        if (text.size() > kMaxFileBytes) {
            result.failure = Format("it grew past %llu bytes while being read", static_cast<unsigned long long>(kMaxFileBytes));
            return result;
        }
    }
    result.outcome = qvhost::FileRead::kRead;
    result.text = std::move(text);
    return result;
}

qvhost::RecordsRead ReadRecordsFile(const std::string& path) {
    const FileText file = ReadWholeFile(path);
    return qvhost::InterpretRead(file.outcome, file.text, file.failure);
}

// Held by one host's save at a time: the read, merge and replace of the records file are one step
// for every host sharing it. Gone with the handle, also when a host dies.
qv::UniqueHandle LockRecordsFile(const std::string& path, std::string& error) {
    const std::string lockPath = path + ".lock";
    const DWORD start = ::GetTickCount();
    for (;;) {
        HANDLE lock = ::CreateFileA(lockPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (lock != INVALID_HANDLE_VALUE) return qv::UniqueHandle(lock);
        const DWORD code = ::GetLastError();
        // Another host holds it, or its file is being deleted as that host lets go.
        const bool busy = code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED;
        if (!busy || ::GetTickCount() - start > kSaveLockTimeoutMs) {
            error = Format("cannot take \"%s\": ", lockPath.c_str()) + Cause(code);
            return qv::UniqueHandle();
        }
        ::Sleep(20);
    }
}

// Writes a new file beside the old one, flushes it and renames it over the old one, so that a crash
// leaves either the old file or the new one, never a torn one. The new file's name is this process's
// own, so that hosts sharing the records file never write into, rename or delete each other's.
bool ReplaceFile(const std::string& path, const std::string& text, std::string& error) {
    const std::string temporary = Format("%s.%lu.new", path.c_str(), ::GetCurrentProcessId());
    {
        qv::UniqueHandle file(::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) {
            file.release();
            error = Format("cannot create \"%s\" (error %lu)", temporary.c_str(), ::GetLastError());
            return false;
        }
        DWORD written = 0;
        if (!::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size() || !::FlushFileBuffers(file.get())) {
            error = Format("cannot write \"%s\" (error %lu)", temporary.c_str(), ::GetLastError());
            file.reset();
            ::DeleteFileA(temporary.c_str());
            return false;
        }
    }
    if (!::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = Format("cannot replace \"%s\" (error %lu)", path.c_str(), ::GetLastError());
        ::DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

// The file is read again just before the save and merged with this desktop's records, so that what
// other hosts saved meanwhile for other desktops stays; for this desktop's objects the last save wins.
void SaveRecords() {
    const std::string unsaved = "host: the records of desktop \"" + g_desktop.name + "\" would have gone to " +
                                g_options.recordsPath + "; they are not saved";
    if (g_recordsUnsafe) {
        LogLine("host: error: records not saved: \"" + g_options.recordsPath +
                "\" could not be read at start, and is not saved over in this run");
        LogLine(unsaved);
        return;
    }
    std::vector<qvhost::StoredRecord> current;
    for (const auto& o : g_objects) {
        if (o->library == nullptr) continue;
        const std::uint8_t* data = o->record.get();
        current.push_back(qvhost::StoredRecord{g_desktop.name, o->desc.id, o->desc.plugin,
                                               std::vector<std::uint8_t>(data, data + o->library->recordSize)});
    }
    std::string error;
    const qv::UniqueHandle lock = LockRecordsFile(g_options.recordsPath, error);
    if (!lock) {
        LogLine("host: error: records not saved: " + error + "; the old file is unchanged");
        LogLine(unsaved);
        return;
    }
    const qvhost::RecordsRead latest = ReadRecordsFile(g_options.recordsPath);
    if (!latest.mayReplace) {
        LogLine("host: error: records not saved: cannot read \"" + g_options.recordsPath + "\": " + latest.error +
                "; the old file is unchanged");
        LogLine(unsaved);
        return;
    }
    const std::string text = qvhost::WriteRecords(qvhost::MergeForSave(latest.file, std::move(current)));
    if (!ReplaceFile(g_options.recordsPath, text, error)) {
        LogLine("host: error: records not saved: " + error + "; the old file is unchanged");
        LogLine(unsaved);
        return;
    }
    LogLine("host: records saved to " + g_options.recordsPath);
}

// ---- Start-up and shut-down, in the contract's order ----

void LoadLibraries() {
    for (auto& o : g_objects) {
        if (o->desc.plugin.empty()) continue;
        Library* library = nullptr;
        for (auto& l : g_libraries) {
            if (qvhost::LibraryKey(l->file) == qvhost::LibraryKey(o->desc.plugin)) library = l.get();
        }
        if (library == nullptr) {
            g_libraries.push_back(std::make_unique<Library>());
            library = g_libraries.back().get();
            library->file = o->desc.plugin;
            library->plugin = qv::PluginLibrary::Load(library->file, library->error);
            if (library->plugin) {
                const char* description = nullptr;
                std::uint32_t flag = 0;
                library->plugin->entry().getPluginInfo(&library->recordSize, &description, &flag);
                const std::string text = description != nullptr ? description : "";
                LogLine(Format("host: loaded %s: record of %u bytes, \"%s\"", library->file.c_str(),
                               library->recordSize, text.substr(0, text.find('\n')).c_str()));
                if (library->recordSize > qvhost::kMaxRecordSize) {
                    library->error = Format("plug-in \"%s\" asks for a record of %u bytes", library->file.c_str(),
                                            library->recordSize);
                    library->plugin.reset();
                }
            }
            if (!library->plugin) LogLine("host: error: " + library->error);
        }
        if (library->plugin) {
            o->library = library;
        } else {
            SetState(*o, "Error: " + library->error, true);
            LogObject(*o, "shows \"Error: " + library->error + "\"");
        }
    }
}

void PrepareRecords() {
    const qvhost::RecordsRead read = ReadRecordsFile(g_options.recordsPath);
    if (!read.mayReplace) {
        g_recordsUnsafe = true;
        LogLine("host: error: cannot read the records file \"" + g_options.recordsPath + "\": " + read.error +
                "; every object starts from its defaults, and the file is not saved over in this run");
    }
    for (const auto& p : read.file.problems) {
        if (!p.id) LogLine(Format("host: warning: %s:%d: %s", g_options.recordsPath.c_str(), p.line, p.text.c_str()));
    }
    for (auto& o : g_objects) {
        if (o->library == nullptr) continue;
        const std::uint32_t size = o->library->recordSize;
        o->record.reset(new std::uint8_t[size]());
        const qvhost::RecordChoice choice = qvhost::ChooseRecord(read.file, read.existed, g_desktop.name,
                                                                 o->desc.id, o->desc.plugin, size);
        if (choice.data) {
            std::copy(choice.data->begin(), choice.data->end(), o->record.get());
            o->restored = true;
            LogObject(*o, "record restored: " + Hex(o->record.get(), size));
        } else {
            o->library->plugin->entry().defaultRecord(0, o->record.get());
            if (!choice.warning.empty()) LogLine("host: warning: object " + Name(*o) + ": " + choice.warning);
            LogObject(*o, "record from QVDefault: " + Hex(o->record.get(), size));
        }
    }
}

void InitObject(HostObject& o) {
    const std::int32_t result = o.library->plugin->entry().init(&o.object, o.record.get());
    o.initialised = true;
    if (result != qv::kOk) LogObject(o, Format("QVInit returned %d", result));
}

void UninitObject(HostObject& o) {
    if (!o.initialised) return;
    o.library->plugin->entry().uninit(&o.object, o.record.get());
    o.initialised = false;
}

void ShutDown() {
    if (g_shutDown) return;
    g_shutDown = true;
    SaveRecords();  // as the records stand while the objects are attached, run-time values included
    for (auto& o : g_objects) UninitObject(*o);
    {
        Exclusive lock;
        for (auto& o : g_objects) o->library = nullptr;
    }
    for (auto& l : g_libraries) l->plugin.reset();
    LogLine("host: every object detached and every library unloaded");
}

// ---- What the objects do ----

void OnObjectClick(HostObject& o) {
    {
        Exclusive lock;
        ++o.clicks;
    }
    if (o.library == nullptr || !qvhost::IsCustomClass(o.desc.objectClass)) {
        LogObject(o, "clicked");
        return;
    }
    const qv::PluginEntryPoints& e = o.library->plugin->entry();
    if (e.commandEx != nullptr) {
        LogObject(o, Format("clicked: QVCommandEx(\"%s\", %u, 0, 0)", o.desc.param1.c_str(), o.desc.param2));
        e.commandEx(o.desc.param1.c_str(), o.desc.param2, 0, 0);
    } else if (e.command != nullptr) {
        LogObject(o, "clicked: QVCommand(0, 0)");
        e.command(0, 0);
    } else {
        LogObject(o, "clicked (its plug-in has no command)");
    }
}

void OnProperties(HostObject& o) {
    if (o.library == nullptr || o.library->plugin->entry().config == nullptr) {
        LogObject(o, "has no properties");
        return;
    }
    const qv::PluginEntryPoints& e = o.library->plugin->entry();
    LogObject(o, "Properties...: QVConfig");
    e.config(&o.object, o.record.get(), g_main);
    // A new hotkey or interval takes effect only through a fresh QVInit.
    UninitObject(o);
    InitObject(o);
    LogObject(o, "record now " + Hex(o.record.get(), o.library->recordSize));
    SaveRecords();
    Exclusive lock;
    ++o.propertiesDone;
}

void OnNotify(std::uint32_t code, std::int32_t id) {
    HostObject* o = FindObject(id);
    if (o == nullptr) {
        LogLine(Format("host: message 9997 code %u for object %d, which is not on the desktop", code, id));
        return;
    }
    {
        Exclusive lock;
        ++o->received[code];
    }
    const auto state = qvhost::StateForCode(o->desc, code);
    if (!state) {
        LogObject(*o, Format("ignored message 9997 code %u (not in its list)", code));
        return;
    }
    std::string previous;
    {
        Exclusive lock;
        previous = o->state;
    }
    if (previous != *state) {
        LogObject(*o, Format("received 9997 code %u: shows \"%s\"", code, std::string(*state).c_str()));
        SetState(*o, std::string(*state), false);
    }
}

void OnContextMenu(HostObject& o, int x, int y) {
    HMENU menu = ::CreatePopupMenu();
    if (menu == nullptr) return;
    const bool can = o.library != nullptr && o.library->plugin->entry().config != nullptr;
    ::AppendMenuA(menu, MF_STRING | (can ? 0 : MF_GRAYED), kCmdProperties, "Properties...");
    if (x == -1 && y == -1) {
        RECT r{};
        ::GetWindowRect(o.window, &r);
        x = r.left;
        y = r.bottom;
    }
    const UINT chosen = static_cast<UINT>(
        ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, x, y, 0, o.window, nullptr));
    ::DestroyMenu(menu);
    if (chosen == kCmdProperties) OnProperties(o);
}

void OnPaintObject(HostObject& o) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(o.window, &paint);
    RECT area{};
    ::GetClientRect(o.window, &area);
    std::string caption, state;
    bool error = false;
    {
        ::AcquireSRWLockShared(&g_lock);
        caption = o.caption;
        state = o.state;
        error = o.error;
        ::ReleaseSRWLockShared(&g_lock);
    }
    HBRUSH brush = ::CreateSolidBrush(error ? RGB(255, 220, 220) : ::GetSysColor(COLOR_BTNFACE));
    ::FillRect(dc, &area, brush);
    ::DeleteObject(brush);
    ::SetBkMode(dc, TRANSPARENT);
    ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
    if (state.empty()) {
        ::DrawTextA(dc, caption.c_str(), -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    } else {
        RECT top = area, bottom = area;
        top.bottom = area.bottom / 2;
        bottom.top = area.bottom / 2;
        ::DrawTextA(dc, caption.c_str(), -1, &top, DT_CENTER | DT_BOTTOM | DT_SINGLELINE);
        ::SetTextColor(dc, error ? RGB(160, 0, 0) : RGB(0, 0, 160));
        ::DrawTextA(dc, state.c_str(), -1, &bottom, DT_CENTER | DT_TOP | DT_WORDBREAK | DT_END_ELLIPSIS);
    }
    ::EndPaint(o.window, &paint);
}

LRESULT CALLBACK ObjectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    HostObject* o = FromWindow(window);
    if (o == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
        case WM_PAINT:
            OnPaintObject(*o);
            return 0;
        case WM_LBUTTONDOWN:
            o->buttonDown = true;
            return 0;
        case WM_LBUTTONUP:
            if (std::exchange(o->buttonDown, false)) OnObjectClick(*o);
            return 0;
        case WM_CONTEXTMENU:
            OnContextMenu(*o, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            return 0;
        case WM_SETTEXT: {
            // A plug-in may show something in its object's window (the calculator's display).
            const LRESULT result = ::DefWindowProcA(window, message, wParam, lParam);
            const std::string text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
            {
                Exclusive lock;
                o->caption = text;
            }
            LogObject(*o, "shows \"" + text + "\"");
            ::InvalidateRect(window, nullptr, TRUE);
            return result;
        }
        default:
            return ::DefWindowProcA(window, message, wParam, lParam);
    }
}

void OnTourDone(bool passed) {
    g_tourPassed = passed;
    LogLine(passed ? "tour: every step passed" : "tour: FAILED");
    ::PostMessageA(g_main, WM_CLOSE, 0, 0);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case qv::kNotifyMessage:
            OnNotify(static_cast<std::uint32_t>(wParam), static_cast<std::int32_t>(lParam));
            return 0;
        case qvhost::kMsgOpenProperties:
            if (HostObject* o = FindObject(static_cast<std::int32_t>(lParam))) OnProperties(*o);
            return 0;
        case qvhost::kMsgTourDone:
            OnTourDone(wParam != 0);
            return 0;
        case WM_TIMER:  // --once: started, now stop
            ::KillTimer(window, wParam);
            ::PostMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        case WM_CLOSE:
            ShutDown();
            ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcA(window, message, wParam, lParam);
    }
}

// ---- The program ----

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        const bool hasValue = i + 1 < argc;
        if (flag == "--desktop" && hasValue) options.desktopPath = argv[++i];
        else if (flag == "--records" && hasValue) options.recordsPath = argv[++i];
        else if (flag == "--screenshot" && hasValue) options.screenshotPath = argv[++i];
        else if (flag == "--once") options.mode = Mode::kOnce;
        else if (flag == "--tour") options.mode = Mode::kTour;
        else if (flag == "--tour-reopened") options.mode = Mode::kTourReopened;
        else return std::nullopt;
    }
    return options;
}

bool ReadDesktop() {
    std::string text(qvhost::DefaultDesktopText());
    std::string name = "(built-in desktop)";
    if (!g_options.desktopPath.empty()) {
        FileText file = ReadWholeFile(g_options.desktopPath);
        if (file.outcome != qvhost::FileRead::kRead) {
            LogLine("host: error: cannot read the desktop file \"" + g_options.desktopPath + "\"" +
                    (file.failure.empty() ? "" : ": " + file.failure));
            return false;
        }
        text = std::move(file.text);
        name = g_options.desktopPath;
    }
    qvhost::ParsedDesktop parsed = qvhost::ParseDesktop(text, name);
    for (const std::string& error : parsed.errors) LogLine("host: error: " + error);
    g_desktop = std::move(parsed.desktop);
    LogLine(Format("host: desktop \"%s\" from %s: %u object(s)", g_desktop.name.c_str(), name.c_str(),
                   static_cast<unsigned>(g_desktop.objects.size())));
    return true;
}

bool CreateWindows(HINSTANCE instance) {
    WNDCLASSA mainClass{};
    mainClass.lpfnWndProc = MainProc;
    mainClass.hInstance = instance;
    mainClass.lpszClassName = qv::kMainWindowClass;
    mainClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    mainClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    WNDCLASSA objectClass = mainClass;
    objectClass.lpfnWndProc = ObjectProc;
    objectClass.lpszClassName = kObjectClass;
    if (!::RegisterClassA(&mainClass) || !::RegisterClassA(&objectClass)) return false;

    const std::vector<qvhost::Rect> places = qvhost::LayOut(g_desktop);
    RECT frame{0, 0, 200, 100};
    for (const qvhost::Rect& r : places) {
        frame.right = std::max<LONG>(frame.right, r.x + r.width + kMargin);
        frame.bottom = std::max<LONG>(frame.bottom, r.y + r.height + kMargin);
    }
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    ::AdjustWindowRect(&frame, style, FALSE);
    g_main = ::CreateWindowA(qv::kMainWindowClass, qv::kMainWindowName, style, 40, 40, frame.right - frame.left,
                             frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (g_main == nullptr) return false;
    for (std::size_t i = 0; i < g_desktop.objects.size(); ++i) {
        auto o = std::make_unique<HostObject>();
        o->desc = g_desktop.objects[i];
        o->caption = o->desc.caption;
        const qvhost::Rect& r = places[i];
        o->window = ::CreateWindowA(kObjectClass, o->caption.c_str(), WS_CHILD | WS_VISIBLE | WS_BORDER, r.x, r.y,
                                    r.width, r.height, g_main, nullptr, instance, nullptr);
        if (o->window == nullptr) return false;
        ::SetWindowLongPtrA(o->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(o.get()));
        o->object.id = o->desc.id;
        o->object.window = static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(o->window));
        g_objects.push_back(std::move(o));
    }
    return true;
}

void PrintSummary() {
    LogLine("host: event log summary (what each object received and showed)");
    for (const auto& o : g_objects) {
        std::string line = "  " + Name(*o) + ":";
        ::AcquireSRWLockShared(&g_lock);
        if (o->clicks != 0) line += Format(" %u click(s);", o->clicks);
        for (const auto& [code, count] : o->received) line += Format(" 9997 code %u x%u;", code, count);
        if (!o->shown.empty()) {
            line += " showed";
            for (std::size_t i = 0; i < o->shown.size(); ++i) line += (i == 0 ? " \"" : " -> \"") + o->shown[i] + "\"";
        }
        if (o->caption != o->desc.caption) line += " caption now \"" + o->caption + "\"";
        ::ReleaseSRWLockShared(&g_lock);
        if (line.back() != ':') LogLine(line);
    }
}

// The tour's second half: the same program, started again on the same records file.
int RunReopened(char** argv, int argc) {
    char program[MAX_PATH] = {};
    if (::GetModuleFileNameA(nullptr, program, MAX_PATH) == 0) return 1;
    std::string command = "\"" + std::string(program) + "\"";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        command += arg == "--tour" ? " --tour-reopened" : " \"" + arg + "\"";
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    LogLine("tour: reopening the host on the same records file");
    if (!::CreateProcessA(program, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        LogLine(Format("tour: cannot start the host again (error %lu)", ::GetLastError()));
        return 1;
    }
    qv::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    ::GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}

}  // namespace

namespace qvhost {

void LogLine(const std::string& line) {
    ::AcquireSRWLockExclusive(&g_logLock);
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
    ::ReleaseSRWLockExclusive(&g_logLock);
}

ObjectView ViewObject(std::int32_t id, bool withRecord) {
    ObjectView view;
    ::AcquireSRWLockShared(&g_lock);
    for (const auto& o : g_objects) {
        if (o->desc.id != id) continue;
        view.exists = true;
        view.window = o->window;
        view.caption = o->caption;
        view.state = o->state;
        view.clicks = o->clicks;
        view.propertiesDone = o->propertiesDone;
        view.restored = o->restored;
        view.needsRecord = o->library != nullptr;
        if (withRecord && o->library != nullptr)
            view.record.assign(o->record.get(), o->record.get() + o->library->recordSize);
    }
    ::ReleaseSRWLockShared(&g_lock);
    return view;
}

std::vector<std::int32_t> ObjectIds() {
    std::vector<std::int32_t> ids;
    for (const auto& o : g_objects) ids.push_back(o->desc.id);
    return ids;
}

HWND MainWindow() { return g_main; }
const Desktop& CurrentDesktop() { return g_desktop; }

}  // namespace qvhost

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const auto options = ParseOptions(argc, argv);
    if (!options) {
        std::fputs(
            "usage: reference_host.exe [--desktop FILE] [--records FILE] [--screenshot FILE] [--once | --tour]\n",
            stderr);
        return 2;
    }
    g_options = *options;
    if (!ReadDesktop()) return 1;

    std::vector<qvhost::TourStep> steps;
    if (g_options.mode == Mode::kTour || g_options.mode == Mode::kTourReopened) {
        std::string error;
        steps = qvhost::BuildTour(g_desktop, g_options.mode == Mode::kTour ? qvhost::TourPhase::kFirstRun
                                                                           : qvhost::TourPhase::kReopened, error);
        if (steps.empty()) {
            LogLine("tour: cannot run on this desktop: " + error);
            return 1;
        }
    }

    if (!CreateWindows(::GetModuleHandleA(nullptr))) {
        LogLine(Format("host: error: cannot create the windows (error %lu; is there a display?)", ::GetLastError()));
        return 1;
    }
    LoadLibraries();
    PrepareRecords();
    for (auto& o : g_objects) {
        if (o->library != nullptr) InitObject(*o);
    }
    LogLine(Format("host: %u object(s) attached", static_cast<unsigned>(g_objects.size())));
    ::ShowWindow(g_main, SW_SHOWNORMAL);
    ::UpdateWindow(g_main);

    qv::UniqueHandle tour;
    if (!steps.empty()) {
        tour.reset(qvhost::StartTour(std::move(steps), g_options.screenshotPath));
        if (!tour) ::PostMessageA(g_main, qvhost::kMsgTourDone, 0, 0);
    } else if (g_options.mode == Mode::kOnce) {
        ::SetTimer(g_main, 1, 300, nullptr);
    }

    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    ShutDown();  // when the loop ended without WM_CLOSE
    if (tour) ::WaitForSingleObject(tour.get(), INFINITE);
    PrintSummary();
    if (g_options.mode == Mode::kTour) return g_tourPassed ? RunReopened(argv, argc) : 1;
    if (g_options.mode == Mode::kTourReopened) return g_tourPassed ? 0 : 1;
    return 0;
}
