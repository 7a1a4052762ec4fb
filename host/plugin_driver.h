// The host side of the contract for the desktop's objects, and the records file that keeps their
// data records between runs. The order of the calls is planned in lifecycle.h; this carries it out.
#pragma once

#include <string>

#include "host_state.h"
#include "records.h"

namespace qvhost {

struct FileText {
    FileRead outcome = FileRead::kFailed;
    std::string text;
    std::string failure;  // why it could not be read, when it exists
};

// The whole file, or why not. Anything short of every byte is a failed read, never a shorter text.
FileText ReadWholeFile(const std::string& path);

// Start-up, in the contract's order: each library loaded once, with QVGetPluginInfo (an object whose
// library cannot be had shows why); each attached object's record restored from the records file or
// made by QVDefault; then QVInit on each. The records file is saved to the same path later.
void AttachObjects(const std::string& recordsPath);

// A click on an object of the class "custom": its plug-in's QVCommandEx or QVCommand.
void ActivateObject(HostObject& o);

// Properties...: the plug-in's dialog, a fresh QVInit, and the records saved.
bool HasProperties(const HostObject& o);
void OpenProperties(HostObject& o);

// Closing: the records saved, every object detached and every library unloaded; once.
void DetachObjects();

}  // namespace qvhost
