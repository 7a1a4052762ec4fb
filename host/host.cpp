#include "host.h"

#include <cstdarg>
#include <cstdio>

namespace qvhost {

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

Host::~Host() {
    if (main_ != nullptr) ::SetWindowLongPtrA(main_, GWLP_USERDATA, 0);
}

void Host::LogObject(const HostObject& o, const std::string& text) {
    LogLine("  " + Name(o) + " " + text);
}

void Host::LogLine(const std::string& line) {
    const qv::ExclusiveLock lock(logLock_);
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

HostObject* Host::FindObject(std::int32_t id) const {
    for (const auto& o : objects_) {
        if (o->desc.id == id) return o.get();
    }
    return nullptr;
}

void Host::SetState(HostObject& o, const std::string& state, bool error) {
    {
        const Exclusive lock(*this);
        o.state = state;
        o.error = error;
        if (o.shown.empty() || o.shown.back() != state) o.shown.push_back(state);
    }
    if (o.window != nullptr) ::InvalidateRect(o.window, nullptr, TRUE);
}

void Host::OnTourDone(bool passed) {
    tourPassed_ = passed;
    LogLine(passed ? "tour: every step passed" : "tour: FAILED");
    ::PostMessageA(main_, WM_CLOSE, 0, 0);
}

ObjectView Host::ViewObject(std::int32_t id) const {
    ObjectView view;
    const Shared lock(*this);
    for (const auto& o : objects_) {
        if (o->desc.id != id) continue;
        view.exists = true;
        view.window = o->window;
        view.caption = o->caption;
        view.state = o->state;
        view.clicks = o->clicks;
        view.propertiesDone = o->propertiesDone;
        view.restored = o->restored;
        view.needsRecord = o->library != nullptr;
    }
    return view;
}

std::vector<std::int32_t> Host::ObjectIds() const {
    std::vector<std::int32_t> ids;
    for (const auto& o : objects_) ids.push_back(o->desc.id);
    return ids;
}

}  // namespace qvhost
