// The host side of the contract for the desktop's objects, and the records file that keeps their
// data records between runs. The order of the calls is planned in lifecycle.h; this carries it out.
#pragma once

#include <string>

#include "host.h"
#include "record_store.h"

namespace qvhost {

// The whole file, or why not. Anything short of every byte is a failed read, never a shorter text.
// Other programs may read, write and delete it meanwhile.
FileText ReadWholeFile(const std::string& path);

// Start-up, in the contract's order: each library loaded once, with QVGetPluginInfo (an object whose
// library cannot be had shows why); each attached object's record restored from the records file or
// made by QVDefault; then QVInit on each. The records file is saved to the same path later.
void AttachObjects(const std::string& recordsPath);

// A click on an object of the class "custom": its plug-in's QVCommandEx or QVCommand. Ignored while
// a plug-in call is on the stack, as is Properties...
void ActivateObject(HostObject& o);

// Properties...: the plug-in's dialog, a fresh QVInit, and the records saved.
bool HasProperties(const HostObject& o);
void OpenProperties(HostObject& o);

// Whether the host may close now. While a plug-in call is on the stack it may not: the close is put
// off, and WM_CLOSE is posted to the main window again once the outermost call has returned.
bool MayCloseNow();

// Closing: the records saved, every object detached and every library unloaded; once.
void DetachObjects();

}  // namespace qvhost
