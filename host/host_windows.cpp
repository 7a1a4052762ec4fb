// The reference host's windows, in the scratch program's shape: the main window "QVmain", which
// takes the plug-ins' notification message 9997 and the tour's requests, and one child window per
// desktop object, showing its caption and its current state, which takes the mouse and the context
// menu. What a click or Properties... does with the plug-in is the driver's (plugin_driver.cpp).
#include <algorithm>
#include <string>
#include <utility>

#include "host.h"

namespace qvhost {

namespace {

constexpr char kObjectClass[] = "QVobject";
constexpr UINT kCmdProperties = 100;
constexpr int kMargin = 10;

// The main window holds its host, each object's window its object.
template <typename T>
T* FromWindow(HWND window) {
    return reinterpret_cast<T*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

void OnObjectClick(Host& host, HostObject& o) {
    {
        const Host::Exclusive lock(host);
        ++o.clicks;
    }
    host.ActivateObject(o);
}

void OnNotify(Host& host, std::uint32_t code, std::int32_t id) {
    HostObject* o = host.FindObject(id);
    if (o == nullptr) {
        host.LogLine(Format("host: message 9997 code %u for object %d, which is not on the desktop", code, id));
        return;
    }
    {
        const Host::Exclusive lock(host);
        ++o->received[code];
    }
    const auto state = StateForCode(o->desc, code);
    if (!state) {
        host.LogObject(*o, Format("ignored message 9997 code %u (not in its list)", code));
        return;
    }
    std::string previous;
    {
        const Host::Exclusive lock(host);
        previous = o->state;
    }
    if (previous != *state) {
        host.LogObject(*o, Format("received 9997 code %u: shows \"%s\"", code, std::string(*state).c_str()));
        host.SetState(*o, std::string(*state), false);
    }
}

void OnContextMenu(Host& host, HostObject& o, int x, int y) {
    HMENU menu = ::CreatePopupMenu();
    if (menu == nullptr) return;
    const bool can = host.HasProperties(o);
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
    if (chosen == kCmdProperties) host.OpenProperties(o);
}

void OnPaintObject(const Host& host, HostObject& o) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(o.window, &paint);
    RECT area{};
    ::GetClientRect(o.window, &area);
    std::string caption, state;
    bool error = false;
    {
        const Host::Shared lock(host);
        caption = o.caption;
        state = o.state;
        error = o.error;
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
    HostObject* o = FromWindow<HostObject>(window);
    Host* host = FromWindow<Host>(::GetParent(window));
    if (o == nullptr || host == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
        case WM_PAINT: OnPaintObject(*host, *o); return 0;
        case WM_LBUTTONDOWN: o->buttonDown = true; return 0;
        case WM_LBUTTONUP:
            if (std::exchange(o->buttonDown, false)) OnObjectClick(*host, *o);
            return 0;
        case WM_CONTEXTMENU:
            OnContextMenu(*host, *o, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            return 0;
        case WM_SETTEXT: {
            // A plug-in may show something in its object's window (the calculator's display).
            const LRESULT result = ::DefWindowProcA(window, message, wParam, lParam);
            const std::string text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
            {
                const Host::Exclusive lock(*host);
                o->caption = text;
            }
            host->LogObject(*o, "shows \"" + text + "\"");
            ::InvalidateRect(window, nullptr, TRUE);
            return result;
        }
        default: return ::DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Host* host = FromWindow<Host>(window);
    if (host == nullptr) return ::DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
        case qv::kNotifyMessage:
            OnNotify(*host, static_cast<std::uint32_t>(wParam), static_cast<std::int32_t>(lParam));
            return 0;
        case kMsgOpenProperties:
            if (HostObject* o = host->FindObject(static_cast<std::int32_t>(lParam))) host->OpenProperties(*o);
            return 0;
        case kMsgTourDone: host->OnTourDone(wParam != 0); return 0;
        case WM_TIMER:  // --once: started, now stop
            ::KillTimer(window, wParam);
            ::PostMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        case WM_CLOSE:
            if (!host->MayCloseNow()) return 0;
            host->DetachObjects();
            ::DestroyWindow(window);
            return 0;
        case WM_DESTROY: ::PostQuitMessage(0); return 0;
        default: return ::DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

bool Host::CreateWindows(HINSTANCE instance) {
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

    const std::vector<Rect> places = LayOut(desktop_);
    RECT frame{0, 0, 200, 100};
    for (const Rect& r : places) {
        frame.right = std::max<LONG>(frame.right, r.x + r.width + kMargin);
        frame.bottom = std::max<LONG>(frame.bottom, r.y + r.height + kMargin);
    }
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    ::AdjustWindowRect(&frame, style, FALSE);
    main_ = ::CreateWindowA(qv::kMainWindowClass, qv::kMainWindowName, style, 40, 40, frame.right - frame.left,
                            frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (main_ == nullptr) return false;
    ::SetWindowLongPtrA(main_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    for (std::size_t i = 0; i < desktop_.objects.size(); ++i) {
        auto o = std::make_unique<HostObject>();
        o->desc = desktop_.objects[i];
        o->caption = o->desc.caption;
        const Rect& r = places[i];
        o->window = ::CreateWindowA(kObjectClass, o->caption.c_str(), WS_CHILD | WS_VISIBLE | WS_BORDER, r.x, r.y,
                                    r.width, r.height, main_, nullptr, instance, nullptr);
        if (o->window == nullptr) return false;
        ::SetWindowLongPtrA(o->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(o.get()));
        o->object.id = o->desc.id;
        o->object.window = static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(o->window));
        objects_.push_back(std::move(o));
    }
    return true;
}

}  // namespace qvhost
