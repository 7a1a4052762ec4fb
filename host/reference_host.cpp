// The reference host: a small stand-in for the host application. It owns the main window "QVmain",
// gives one object a window of its own, loads Hotrelay2 through the plug-in loader, binds a hotkey
// to the object and presses it on the (virtual) keyboard, printing what the object's window receives.
// A click on the object activates it as the host does: through the plug-in's QVCommandEx.
//
//   reference_host.exe [--plugin FILE.dll]... [--param1 TEXT] [--param2 N]
//
// --plugin loads another plug-in first, as the host loads every plug-in its objects name, so that the
// object's parameter 1 can relay to one of its exports (for example RelayTarget.dll(Press)).
//
// Exit code 0 when the key press ended in a click on the object, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "hotkey_record.h"
#include "plugin_loader.h"

namespace {

constexpr std::int32_t kObjectId = 12;
constexpr char kObjectClass[] = "QVobject";

struct HostState {
    qv::PluginLibrary* plugin = nullptr;
    std::string param1;
    std::uint32_t param2 = 0;
    std::vector<std::string> otherPlugins;
    bool clicked = false;
};
HostState g_host;

const char* MessageName(UINT message) {
    switch (message) {
        case WM_HOTKEY: return "WM_HOTKEY";
        case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
        case WM_LBUTTONUP: return "WM_LBUTTONUP";
        case WM_LBUTTONDBLCLK: return "WM_LBUTTONDBLCLK";
        case WM_MOUSEMOVE: return "WM_MOUSEMOVE";
        case WM_SETFOCUS: return "WM_SETFOCUS";
        default: return nullptr;
    }
}

void OnObjectClicked() {
    g_host.clicked = true;
    std::printf("host: object %d clicked", kObjectId);
    if (g_host.plugin->entry().commandEx != nullptr && !g_host.param1.empty()) {
        std::printf(", activating it: QVCommandEx(\"%s\", %u)\n", g_host.param1.c_str(), g_host.param2);
        g_host.plugin->entry().commandEx(g_host.param1.c_str(), g_host.param2, 0, 0);
    } else {
        std::printf("\n");
    }
}

LRESULT CALLBACK ObjectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (const char* name = MessageName(message)) {
        if (message == WM_HOTKEY || message == WM_SETFOCUS)
            std::printf("object %d received %s (wParam 0x%x)\n", kObjectId, name, static_cast<unsigned>(wParam));
        else
            std::printf("object %d received %s at (%d, %d), wParam %u\n", kObjectId, name,
                        static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)),
                        static_cast<unsigned>(wParam));
        std::fflush(stdout);
    }
    if (message == WM_LBUTTONUP) OnObjectClicked();
    return ::DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == qv::kNotifyMessage) {
        std::printf("host: notification %u for object %ld\n", static_cast<unsigned>(wParam), static_cast<long>(lParam));
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

void PressKeys(std::initializer_list<WORD> down) {
    for (WORD key : down) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        ::SendInput(1, &input, sizeof input);
    }
    for (auto it = std::rbegin(down); it != std::rend(down); ++it) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *it;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        ::SendInput(1, &input, sizeof input);
    }
}

void PumpFor(DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < milliseconds && !g_host.clicked) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    // Let the rest of the posted input arrive too.
    MSG msg;
    for (int i = 0; i < 20 && ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) ::DispatchMessageA(&msg);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--param1") g_host.param1 = argv[i + 1];
        else if (flag == "--param2") g_host.param2 = static_cast<std::uint32_t>(std::strtoul(argv[i + 1], nullptr, 0));
        else if (flag == "--plugin") g_host.otherPlugins.push_back(argv[i + 1]);
    }

    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    WNDCLASSA mainClass{};
    mainClass.lpfnWndProc = MainProc;
    mainClass.hInstance = instance;
    mainClass.lpszClassName = qv::kMainWindowClass;
    mainClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    WNDCLASSA objectClass = mainClass;
    objectClass.lpfnWndProc = ObjectProc;
    objectClass.lpszClassName = kObjectClass;
    objectClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    ::RegisterClassA(&mainClass);
    ::RegisterClassA(&objectClass);

    HWND main = ::CreateWindowA(qv::kMainWindowClass, qv::kMainWindowName, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                                360, 200, nullptr, nullptr, instance, nullptr);
    HWND objectWindow = ::CreateWindowA(kObjectClass, "Object 12", WS_CHILD | WS_VISIBLE | WS_BORDER, 20, 20, 160, 60,
                                        main, nullptr, instance, nullptr);
    if (main == nullptr || objectWindow == nullptr) {
        std::printf("host: cannot create windows (is there a display?)\n");
        return 1;
    }

    std::string error;
    std::vector<qv::PluginLibrary> others;
    for (const std::string& file : g_host.otherPlugins) {
        auto other = qv::PluginLibrary::Load(file, error);
        if (!other) {
            std::printf("host: %s\n", error.c_str());
            return 1;
        }
        std::printf("host: loaded %s\n", file.c_str());
        others.push_back(std::move(*other));
    }
    auto plugin = qv::PluginLibrary::Load("Hotrelay2.dll", error);
    if (!plugin) {
        std::printf("host: %s\n", error.c_str());
        return 1;
    }
    g_host.plugin = &*plugin;

    std::uint32_t recordSize = 0, flag = 0;
    const char* description = nullptr;
    plugin->entry().getPluginInfo(&recordSize, &description, &flag);
    std::printf("host: loaded Hotrelay2.dll, record size %u, flag %u\n", recordSize, flag);
    std::printf("host: description begins \"%.36s\"\n", description);

    qv::ObjectRecord object{kObjectId, {0, 0}, static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(objectWindow))};
    hotrelay::HotkeyRecord record{};
    plugin->entry().defaultRecord(0, &record);
    record.modifiers = hotrelay::kModControl;
    record.virtualKey = VK_F10;
    record.activationKind = hotrelay::kSingleClick;
    plugin->entry().init(&object, &record);
    if (record.atom == 0) {
        std::printf("host: Ctrl+F10 could not be bound to object %d (taken elsewhere?)\n", kObjectId);
        return 1;
    }
    std::printf("host: Ctrl+F10 bound to object %d (hotkey atom 0x%04X)\n", kObjectId, record.atom);

    std::printf("host: pressing Ctrl+F10\n");
    PressKeys({VK_CONTROL, VK_F10});
    PumpFor(3000);

    // The sample relay target tells what reached it (Press is its function 1).
    for (std::size_t i = 0; i < others.size(); ++i) {
        using ReadBack = std::int32_t(__stdcall*)(std::uint32_t);
        auto calls = reinterpret_cast<ReadBack>(reinterpret_cast<void*>(others[i].Find("CallCount")));
        auto last = reinterpret_cast<ReadBack>(reinterpret_cast<void*>(others[i].Find("LastValue")));
        if (calls != nullptr && last != nullptr)
            std::printf("host: %s says Press was called %d time(s), last with %d\n", g_host.otherPlugins[i].c_str(),
                        calls(1), last(1));
    }

    plugin->entry().uninit(&object, &record);
    std::printf("host: object %d detached\n", kObjectId);
    ::DestroyWindow(main);
    std::printf(g_host.clicked ? "host: the key press clicked the object\n" : "host: no click arrived\n");
    return g_host.clicked ? 0 : 1;
}
