// libFuzzer target: any desktop file must parse without fault into a desktop the host can trust:
// distinct identifiers, bounded counts and texts, no control characters, every error located.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

#include "desktop.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

bool Clean(const std::string& text) {
    if (text.size() > qvhost::kMaxTextLength) return false;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const qvhost::ParsedDesktop parsed = qvhost::ParseDesktop(text, "fuzz.ini");
    Require(parsed.desktop.objects.size() <= qvhost::kMaxObjects);
    Require(Clean(parsed.desktop.name) && !parsed.desktop.name.empty());
    std::set<std::int32_t> ids;
    for (const qvhost::DesktopObject& o : parsed.desktop.objects) {
        Require(ids.insert(o.id).second);
        Require(!o.caption.empty() && Clean(o.caption) && Clean(o.objectClass) && Clean(o.param1) && Clean(o.plugin));
        Require(o.plugin.find_first_of("\\/:") == std::string::npos);
        std::set<std::uint32_t> codes;
        for (const qvhost::MessageState& m : o.messages) {
            Require(codes.insert(m.code).second && !m.state.empty() && Clean(m.state));
            Require(qvhost::StateForCode(o, m.code) == std::string_view(m.state));
        }
    }
    for (const std::string& error : parsed.errors) Require(error.rfind("fuzz.ini:", 0) == 0);
    Require(qvhost::LayOut(parsed.desktop).size() == parsed.desktop.objects.size());
    return 0;
}
