#include "wastewatch_bin_helpers.h"

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "win32_owner.h"

namespace wwtest {

namespace {

// A Linux path is reachable under drive Z: with backslashes.
std::string WindowsPathOf(const std::string& linuxPath) {
    std::string path = "Z:" + linuxPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

bool WriteText(const std::string& path, const std::string& text) {
    const qv::UniqueFile file(
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE &&
           written == text.size();
}

}  // namespace

std::string TrashFolder() {
    const char* trash = std::getenv("QV_TRASH_DIR");
    return trash == nullptr ? std::string() : WindowsPathOf(trash);
}

std::string ScratchFolder() {
    const std::string trash = TrashFolder();
    if (trash.empty()) return {};
    const std::string folder = trash.substr(0, trash.find_last_of('\\')) + "\\scratch";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

std::string MakeFile(const std::string& name, std::uint64_t size) {
    const std::string folder = ScratchFolder();
    if (folder.empty()) return {};
    const std::string path = folder + "\\" + name;
    const qv::UniqueFile file(
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {};
    if (size <= (4u << 20)) {
        const std::string bytes(static_cast<std::size_t>(size), 'x');
        DWORD written = 0;
        if (!bytes.empty() &&
            (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
             written != bytes.size())) {
            return {};
        }
        return path;
    }
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.get())) return {};
    return path;
}

bool DeleteIntoBin(const std::vector<std::string>& paths) {
    if (paths.empty()) return true;
    std::string list;
    for (const std::string& path : paths) {
        list += path;
        list += '\0';
    }
    list += '\0';
    SHFILEOPSTRUCTA operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = list.c_str();
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    return ::SHFileOperationA(&operation) == 0 && !operation.fAnyOperationsAborted;
}

bool FillBin(std::size_t count, const std::vector<std::uint64_t>& sizes, const std::string& prefix) {
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string path = MakeFile(prefix + std::to_string(i) + ".dat",
                                          sizes.empty() ? 0 : sizes[i % sizes.size()]);
        if (path.empty()) return false;
        paths.push_back(path);
    }
    return DeleteIntoBin(paths);
}

bool FillTrashDirectly(std::size_t count, std::uint32_t itemSize, const std::string& prefix) {
    const std::string trash = TrashFolder();
    if (trash.empty()) return false;
    const std::string scratch = ScratchFolder();
    const std::string payload(itemSize, 'x');
    for (std::size_t i = 0; i < count; ++i) {
        const std::string name = prefix + std::to_string(i) + ".dat";
        if (!WriteText(trash + "\\files\\" + name, payload)) return false;
        // The original location is reported by the bin; it need not exist any more.
        std::string original = scratch + "\\" + name;
        original = original.substr(2);  // drop "Z:", the info file holds the Linux path
        for (char& c : original) {
            if (c == '\\') c = '/';
        }
        const std::string info = "[Trash Info]\nPath=" + original + "\nDeletionDate=2024-01-01T00:00:00\n";
        if (!WriteText(trash + "\\info\\" + name + ".trashinfo", info)) return false;
    }
    return true;
}

ShellBinInfo QueryBin() {
    SHQUERYRBINFO info{};
    info.cbSize = sizeof info;
    const bool ok = ::SHQueryRecycleBinA(nullptr, &info) == S_OK;
    return {ok, info.i64NumItems, info.i64Size};
}

bool EmptyBin() {
    const HRESULT result = ::SHEmptyRecycleBinA(nullptr, nullptr,
                                                SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND);
    return SUCCEEDED(result);
}

}  // namespace wwtest
