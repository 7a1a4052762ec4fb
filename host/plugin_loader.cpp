#include "plugin_loader.h"

namespace qv {
namespace {

// Converts an export's address to the entry point's exact type; the types come from the contract.
template <typename Fn>
Fn As(FARPROC proc) noexcept {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

}  // namespace

std::optional<PluginLibrary> PluginLibrary::Load(const std::string& path, std::string& error) {
    PluginLibrary library;
    library.module_.reset(::LoadLibraryA(path.c_str()));
    if (!library.module_) {
        error = "cannot load plug-in \"" + path + "\" (error " + std::to_string(::GetLastError()) + ")";
        return std::nullopt;
    }
    auto find = [&](const char* name) { return ::GetProcAddress(library.module_.get(), name); };

    PluginEntryPoints& e = library.entry_;
    e.getPluginInfo = As<GetPluginInfoFn>(find(kGetPluginInfoName));
    e.defaultRecord = As<DefaultFn>(find(kDefaultName));
    e.init = As<InitFn>(find(kInitName));
    e.config = As<ConfigFn>(find(kConfigName));
    e.command = As<CommandFn>(find(kCommandName));
    e.commandEx = As<CommandExFn>(find(kCommandExName));
    e.uninit = As<UninitFn>(find(kUninitName));

    const std::pair<const char*, bool> required[] = {
        {kGetPluginInfoName, e.getPluginInfo != nullptr},
        {kDefaultName, e.defaultRecord != nullptr},
        {kInitName, e.init != nullptr},
        {kUninitName, e.uninit != nullptr},
    };
    for (const auto& [name, present] : required) {
        if (!present) {
            error = "plug-in \"" + path + "\" does not export " + name;
            return std::nullopt;
        }
    }
    return library;
}

FARPROC PluginLibrary::Find(const char* name) const noexcept {
    return module_ ? ::GetProcAddress(module_.get(), name) : nullptr;
}

}  // namespace qv
