#include "status_text.h"

namespace hotrelay {

std::string_view StatusText(const HotkeyRecord* record) {
    if (record == nullptr) return kStatusNoRecord;
    if (record->atom != 0) return kStatusInUse;
    if (SettingsComplete(*record)) return kStatusNotRegistered;
    return kStatusIncomplete;
}

}  // namespace hotrelay
