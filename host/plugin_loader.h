// The host side of the plug-in contract: loads a plug-in library by file name, resolves its entry
// points by their undecorated names and keeps the library loaded for as long as the object lives.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "qv_contract.h"
#include "win32_owner.h"

namespace qv {

struct PluginEntryPoints {
    GetPluginInfoFn getPluginInfo = nullptr;
    DefaultFn defaultRecord = nullptr;
    InitFn init = nullptr;
    ConfigFn config = nullptr;    // may be absent
    CommandFn command = nullptr;  // a plug-in exports this one or commandEx
    CommandExFn commandEx = nullptr;
    UninitFn uninit = nullptr;
};

class PluginLibrary {
public:
    // Loads the library and resolves its entry points. QVGetPluginInfo, QVDefault, QVInit and
    // QVUninit must exist; the others are optional. On failure returns nothing and says why in error.
    static std::optional<PluginLibrary> Load(const std::string& path, std::string& error);

    const PluginEntryPoints& entry() const noexcept { return entry_; }
    HMODULE module() const noexcept { return module_.get(); }
    // Any other export, by name; null when absent.
    FARPROC Find(const char* name) const noexcept;
    // Unloads now (the destructor does the same).
    void Unload() noexcept {
        module_.reset();
        entry_ = {};
    }

private:
    UniqueModule module_;
    PluginEntryPoints entry_;
};

}  // namespace qv
