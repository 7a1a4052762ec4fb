// How the host attaches objects to their plug-ins and lets go of them again: which library loads it
// makes, which record sizes it holds, and in what order it calls into the plug-ins and saves the
// records file, and which entry point a click calls. Platform-free: the host's plug-in driver carries
// the plans out call by call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop.h"

namespace qvhost {

// One object's part in the loads.
struct ObjectLoad {
    std::optional<std::size_t> library;  // index into LoadPlan::libraries; nothing: it names no plug-in
    bool loadsIt = false;                // the first object naming it: the library is loaded just before it
    friend bool operator==(const ObjectLoad&, const ObjectLoad&) = default;
};

// Objects that name the same library (LibraryKey) share one load, made when the first of them is
// attached, so that a plug-in's module-wide state is one for all its objects.
struct LoadPlan {
    std::vector<std::string> libraries;  // file names as the first object naming each writes it, in load order
    std::vector<ObjectLoad> objects;     // one per desktop object, in desktop order
};

LoadPlan PlanLoads(const std::vector<DesktopObject>& objects);

// Why the host refuses a library that asks for a record of this size (kMaxRecordSize is the most a
// records file holds); empty when it takes it.
std::string RecordSizeRefusal(std::string_view file, std::uint32_t size);

enum class HostCall {
    kConfig,       // QVConfig on the object, its properties dialog
    kUninit,       // QVUninit on the object
    kInit,         // QVInit on the object
    kShowRecord,   // the object's record as it now stands goes to the event log
    kSaveRecords,  // the records file gets every attached object's record
    kDetachAll,    // every object lets go of its library; nothing reads a record after this
    kUnload,       // the library is unloaded
};

struct PlannedCall {
    HostCall call;
    std::size_t index = 0;  // the object's index; the library's for kUnload; unused for the others
    friend bool operator==(const PlannedCall&, const PlannedCall&) = default;
};

struct ObjectLife {
    bool attached = false;     // its library is loaded and it holds a record
    bool initialised = false;  // QVInit was called on it and QVUninit not since
};

// Properties... on an object: the dialog, then a fresh QVInit (a new hotkey or interval takes effect
// only through one), then the save. Nothing when the object has no plug-in or its plug-in no dialog.
std::vector<PlannedCall> PlanProperties(std::size_t object, ObjectLife life, bool hasConfig);

// Closing: the records are saved while every object is still attached, so that they hold the values
// the plug-ins keep in them at run time; then QVUninit on every initialised object, and only after
// the last of them every library is unloaded, in load order.
std::vector<PlannedCall> PlanShutDown(const std::vector<ObjectLife>& objects, std::size_t libraries);

// What a click on an object calls. Only an attached object of the class "custom" calls its plug-in,
// through QVCommandEx when the plug-in exports it, else through QVCommand.
enum class Activation {
    kNothing,    // a plain click: no plug-in, or not of the class "custom"
    kCommandEx,  // QVCommandEx(param1, param2, 0, 0)
    kCommand,    // QVCommand(0, 0)
    kNoCommand,  // its plug-in exports neither
};

struct ActivationTarget {
    bool attached = false;  // its library is loaded
    bool customClass = false;
    bool hasCommandEx = false;
    bool hasCommand = false;
};

Activation ChooseActivation(ActivationTarget target);

// What the user or the tour asks of the host while it may be inside a plug-in call: a plug-in that
// shows a dialog or a message box runs a message loop inside its call, which hands the host its
// window messages. Both plug-ins count on one call at a time, and a library unloaded under a call
// still running is returned into after it is gone.
enum class HostRequest {
    kClick,       // an object's command
    kProperties,  // an object's dialog
    kClose,       // closing the host: the save, every QVUninit, every unload
};

enum class Admission {
    kCarryOut,  // now
    kIgnore,    // never; the log says so
    kPutOff,    // once the outermost plug-in call has returned
};

// Counts the plug-in calls on the host's stack and decides what each request gets meanwhile.
class PluginCalls {
public:
    Admission Ask(HostRequest request);
    void Enter() { ++depth_; }
    // True once the outermost call has returned with a close put off meanwhile: carry it out now.
    bool Leave();
    bool InCall() const { return depth_ > 0; }

private:
    unsigned depth_ = 0;
    bool closePutOff_ = false;
};

}  // namespace qvhost
