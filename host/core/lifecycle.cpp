#include "lifecycle.h"

#include <utility>

#include "records.h"

namespace qvhost {

LoadPlan PlanLoads(const std::vector<DesktopObject>& objects) {
    LoadPlan plan;
    std::vector<std::string> keys;
    for (const DesktopObject& object : objects) {
        ObjectLoad load;
        if (!object.plugin.empty()) {
            const std::string key = LibraryKey(object.plugin);
            std::size_t i = 0;
            while (i < keys.size() && keys[i] != key) ++i;
            if (i == keys.size()) {
                keys.push_back(key);
                plan.libraries.push_back(object.plugin);
                load.loadsIt = true;
            }
            load.library = i;
        }
        plan.objects.push_back(load);
    }
    return plan;
}

std::string RecordSizeRefusal(std::string_view file, std::uint32_t size) {
    if (size <= kMaxRecordSize) return {};
    return "plug-in \"" + std::string(file) + "\" asks for a record of " + std::to_string(size) + " bytes";
}

std::vector<PlannedCall> PlanProperties(std::size_t object, ObjectLife life, bool hasConfig) {
    if (!life.attached || !hasConfig) return {};
    std::vector<PlannedCall> calls{{HostCall::kConfig, object}};
    if (life.initialised) calls.push_back({HostCall::kUninit, object});
    calls.push_back({HostCall::kInit, object});
    calls.push_back({HostCall::kShowRecord, object});
    calls.push_back({HostCall::kSaveRecords});
    return calls;
}

std::vector<PlannedCall> PlanShutDown(const std::vector<ObjectLife>& objects, std::size_t libraries) {
    std::vector<PlannedCall> calls{{HostCall::kSaveRecords}};
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if (objects[i].initialised) calls.push_back({HostCall::kUninit, i});
    }
    calls.push_back({HostCall::kDetachAll});
    for (std::size_t i = 0; i < libraries; ++i) calls.push_back({HostCall::kUnload, i});
    return calls;
}

Activation ChooseActivation(ActivationTarget target) {
    if (!target.attached || !target.customClass) return Activation::kNothing;
    if (target.hasCommandEx) return Activation::kCommandEx;
    if (target.hasCommand) return Activation::kCommand;
    return Activation::kNoCommand;
}

Admission PluginCalls::Ask(HostRequest request) {
    if (depth_ == 0) return Admission::kCarryOut;
    if (request != HostRequest::kClose) return Admission::kIgnore;
    closePutOff_ = true;
    return Admission::kPutOff;
}

bool PluginCalls::Leave() {
    if (depth_ > 0) --depth_;
    return depth_ == 0 && std::exchange(closePutOff_, false);
}

}  // namespace qvhost
