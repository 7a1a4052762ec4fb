// Helper process for the lifecycle tests: loads Wastewatch beside it, watches one object, and ends by
// returning from main while the library is still loaded and its monitor is asleep.
// Argument "none": the same steps without the library, as a baseline. Argument "empty": only empties
// the bin, as another program would.
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "empty") == 0) {
        return SUCCEEDED(
                   ::SHEmptyRecycleBinA(nullptr, nullptr, SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND))
                   ? 0
                   : 5;
    }
    const bool useLibrary = argc > 1 && std::strcmp(argv[1], "watch") == 0;
    if (useLibrary) {
        char path[MAX_PATH] = {};
        const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string library(path, length);
        library.erase(library.find_last_of("\\/") + 1);
        library += "Wastewatch.dll";
        HMODULE module = ::LoadLibraryA(library.c_str());
        if (module == nullptr) return 2;
        using InitFn = std::int32_t(__stdcall*)(const void*, const void*);
        auto init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(::GetProcAddress(module, "QVInit")));
        if (init == nullptr) return 3;
        static const std::int32_t object[4] = {1, 0, 0, 0};
        static const std::uint32_t record[6] = {1, 1, 0, 0, 0, 0};
        if (init(object, record) != 1) return 4;
    }
    ::Sleep(300);
    return 0;
}
