#include "host.h"

#include <cstdarg>
#include <cstdio>

namespace qvhost {

Desktop g_desktop;
std::vector<std::unique_ptr<HostObject>> g_objects;
HWND g_main = nullptr;
SRWLOCK g_lock = SRWLOCK_INIT;

namespace {

SRWLOCK g_logLock = SRWLOCK_INIT;

}  // namespace

std::string Format(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string Name(const HostObject& o) {
    return "\"" + o.desc.caption + "\" (" + std::to_string(o.desc.id) + ")";
}

void LogObject(const HostObject& o, const std::string& text) {
    LogLine("  " + Name(o) + " " + text);
}

void LogLine(const std::string& line) {
    const qv::ExclusiveLock lock(g_logLock);
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
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

}  // namespace qvhost
