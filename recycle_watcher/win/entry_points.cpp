// The entry points the host calls: description, record defaults, watching and unwatching objects,
// and emptying the bin when a Wastewatch object is activated.
#include <windows.h>

#include <cstdint>

#include "bin_emptier.h"
#include "qv_contract.h"
#include "watch_record.h"
#include "watcher_state.h"

namespace {

constexpr char kDescription[] =
    "ALPHA VERSION PLUGIN. USE AT YOUR OWN RISK.\n\n"
    "A simple QV plugin to notify when the recycle bin content has changed. Message 8750393 is sent whenever "
    "the recycle bin is emptied. Message 8750394 is sent whenever the recycle bin is filled. If you make use of "
    "the bin overflow options, message 8750395 is sent whenever the bin overflows and message 8750396 is sent "
    "whenever the bin receeds back below the overflow level. These 4 messages must be the only messages "
    "specified in order for the plugin to work properly.\n\n"
    "You may also configure the object referencing this plugin with a class of \"custom\" and then set the "
    "class's configuration parameter 1 to \"empty\". Then, when you click on the object the bin will be "
    "emptied.";

}  // namespace

extern "C" {

std::int32_t __stdcall QVGetPluginInfo(std::uint32_t* recordSize, const char** description,
                                       std::uint32_t* flag) noexcept {
    return qv::DescribePlugin(sizeof(wastewatch::WatchRecord), kDescription, recordSize, description, flag);
}

std::int32_t __stdcall QVDefault(std::uint32_t /*hostValue*/, wastewatch::WatchRecord* record) noexcept {
    if (record != nullptr) *record = wastewatch::DefaultWatchRecord();
    return qv::kOk;
}

std::int32_t __stdcall QVInit(const qv::ObjectRecord* object, const wastewatch::WatchRecord* record) noexcept {
    if (object == nullptr || record == nullptr) return 0;
    return wastewatch::WatchObject(object->id, *record) ? qv::kOk : 0;
}

std::int32_t __stdcall QVUninit(const qv::ObjectRecord* object, const wastewatch::WatchRecord* /*record*/) noexcept {
    if (object != nullptr) wastewatch::UnwatchObject(object->id);
    return qv::kOk;
}

std::int32_t __stdcall QVCommand(std::uint32_t /*hostValue1*/, std::uint32_t /*hostValue2*/) noexcept {
    // Every drive's bin, with no question, no progress window and no sound, on a thread of its own so
    // that the host's window never freezes. The watched objects hear of it at the monitor's next cycle
    // after the emptying has finished.
    wastewatch::StartEmptying();
    return qv::kOk;
}

}  // extern "C"
