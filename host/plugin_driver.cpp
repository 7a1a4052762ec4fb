#include "plugin_driver.h"

#include <algorithm>
#include <utility>

#include "lifecycle.h"

namespace qvhost {

namespace {

constexpr std::uint64_t kMaxFileBytes = 64u << 20;
// How long a save waits for another host's save on the same records file to finish.
constexpr DWORD kSaveLockTimeoutMs = 10000;

std::vector<std::unique_ptr<Library>> g_libraries;  // in load order
std::string g_recordsPath;
// Set when the records file exists but could not be read at start: it is never saved over then.
bool g_recordsUnsafe = false;
bool g_shutDown = false;

std::string Hex(const std::uint8_t* data, std::uint32_t size) {
    std::string text;
    for (std::uint32_t i = 0; i < size; ++i) text += Format(i == 0 ? "%02x" : (i % 4 == 0 ? " %02x" : "%02x"), data[i]);
    return text.empty() ? "(empty)" : text;
}

// ---- The records file ----

std::string Cause(DWORD error) {
    switch (error) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return Format("another program holds it open (sharing violation, error %lu)", error);
        case ERROR_ACCESS_DENIED: return Format("access denied (error %lu)", error);
        default: return Format("error %lu", error);
    }
}

}  // namespace

FileText ReadWholeFile(const std::string& path) {
    FileText result;
    qv::UniqueHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            result.outcome = FileRead::kMissing;
        } else {
            result.failure = "cannot open it: " + Cause(error);
        }
        return result;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        result.failure = "cannot read its size: " + Cause(::GetLastError());
        return result;
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > kMaxFileBytes) {
        result.failure = Format("it holds %lld bytes, more than %llu", static_cast<long long>(size.QuadPart),
                                static_cast<unsigned long long>(kMaxFileBytes));
        return result;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
            result.failure = Format("reading failed after %zu bytes: ", text.size()) + Cause(::GetLastError());
            return result;
        }
        if (got == 0) break;
        text.append(buffer, got);
        if (text.size() > kMaxFileBytes) {
            result.failure = Format("it grew past %llu bytes while being read",
                                    static_cast<unsigned long long>(kMaxFileBytes));
            return result;
        }
    }
    result.outcome = FileRead::kRead;
    result.text = std::move(text);
    return result;
}

namespace {

RecordsRead ReadRecordsFile(const std::string& path) {
    const FileText file = ReadWholeFile(path);
    return InterpretRead(file.outcome, file.text, file.failure);
}

// Held by one host's save at a time: the read, merge and replace of the records file are one step
// for every host sharing it. Gone with the handle, also when a host dies.
qv::UniqueHandle LockRecordsFile(const std::string& path, std::string& error) {
    const std::string lockPath = path + ".lock";
    const DWORD start = ::GetTickCount();
    for (;;) {
        HANDLE lock = ::CreateFileA(lockPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (lock != INVALID_HANDLE_VALUE) return qv::UniqueHandle(lock);
        const DWORD code = ::GetLastError();
        // Another host holds it, or its file is being deleted as that host lets go.
        const bool busy = code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED;
        if (!busy || ::GetTickCount() - start > kSaveLockTimeoutMs) {
            error = Format("cannot take \"%s\": ", lockPath.c_str()) + Cause(code);
            return qv::UniqueHandle();
        }
        ::Sleep(20);
    }
}

// Writes a new file beside the old one, flushes it and renames it over the old one, so that a crash
// leaves either the old file or the new one, never a torn one. The new file's name is this process's
// own, so that hosts sharing the records file never write into, rename or delete each other's.
bool ReplaceFile(const std::string& path, const std::string& text, std::string& error) {
    const std::string temporary = Format("%s.%lu.new", path.c_str(), ::GetCurrentProcessId());
    {
        qv::UniqueHandle file(
            ::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) {
            file.release();
            error = Format("cannot create \"%s\" (error %lu)", temporary.c_str(), ::GetLastError());
            return false;
        }
        DWORD written = 0;
        if (!::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size() || !::FlushFileBuffers(file.get())) {
            error = Format("cannot write \"%s\" (error %lu)", temporary.c_str(), ::GetLastError());
            file.reset();
            ::DeleteFileA(temporary.c_str());
            return false;
        }
    }
    if (!::MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = Format("cannot replace \"%s\" (error %lu)", path.c_str(), ::GetLastError());
        ::DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

// The file is read again just before the save and merged with this desktop's records, so that what
// other hosts saved meanwhile for other desktops stays; for this desktop's objects the last save wins.
void SaveRecords() {
    const std::string unsaved = "host: the records of desktop \"" + g_desktop.name + "\" would have gone to " +
                                g_recordsPath + "; they are not saved";
    if (g_recordsUnsafe) {
        LogLine("host: error: records not saved: \"" + g_recordsPath +
                "\" could not be read at start, and is not saved over in this run");
        LogLine(unsaved);
        return;
    }
    std::vector<StoredRecord> current;
    for (const auto& o : g_objects) {
        if (o->library == nullptr) continue;
        const std::uint8_t* data = o->record.get();
        current.push_back(StoredRecord{g_desktop.name, o->desc.id, o->desc.plugin,
                                       std::vector<std::uint8_t>(data, data + o->library->recordSize)});
    }
    std::string error;
    const qv::UniqueHandle lock = LockRecordsFile(g_recordsPath, error);
    if (!lock) {
        LogLine("host: error: records not saved: " + error + "; the old file is unchanged");
        LogLine(unsaved);
        return;
    }
    const RecordsRead latest = ReadRecordsFile(g_recordsPath);
    if (!latest.mayReplace) {
        LogLine("host: error: records not saved: cannot read \"" + g_recordsPath + "\": " + latest.error +
                "; the old file is unchanged");
        LogLine(unsaved);
        return;
    }
    const std::string text = WriteRecords(MergeForSave(latest.file, std::move(current)));
    if (!ReplaceFile(g_recordsPath, text, error)) {
        LogLine("host: error: records not saved: " + error + "; the old file is unchanged");
        LogLine(unsaved);
        return;
    }
    LogLine("host: records saved to " + g_recordsPath);
}

// ---- Start-up and shut-down, in the contract's order ----

void LoadOnce(Library& library) {
    library.plugin = qv::PluginLibrary::Load(library.file, library.error);
    if (library.plugin) {
        const char* description = nullptr;
        std::uint32_t flag = 0;
        library.plugin->entry().getPluginInfo(&library.recordSize, &description, &flag);
        const std::string text = description != nullptr ? description : "";
        LogLine(Format("host: loaded %s: record of %u bytes, \"%s\"", library.file.c_str(), library.recordSize,
                       text.substr(0, text.find('\n')).c_str()));
        library.error = RecordSizeRefusal(library.file, library.recordSize);
        if (!library.error.empty()) library.plugin.reset();
    }
    if (!library.plugin) LogLine("host: error: " + library.error);
}

void LoadLibraries() {
    std::vector<DesktopObject> objects;
    for (const auto& o : g_objects) objects.push_back(o->desc);
    const LoadPlan plan = PlanLoads(objects);
    for (const std::string& file : plan.libraries) {
        g_libraries.push_back(std::make_unique<Library>());
        g_libraries.back()->file = file;
    }
    for (std::size_t i = 0; i < g_objects.size(); ++i) {
        const ObjectLoad& load = plan.objects[i];
        if (!load.library) continue;
        HostObject& o = *g_objects[i];
        Library& library = *g_libraries[*load.library];
        if (load.loadsIt) LoadOnce(library);
        if (library.plugin) {
            o.library = &library;
        } else {
            SetState(o, "Error: " + library.error, true);
            LogObject(o, "shows \"Error: " + library.error + "\"");
        }
    }
}

void PrepareRecords() {
    const RecordsRead read = ReadRecordsFile(g_recordsPath);
    if (!read.mayReplace) {
        g_recordsUnsafe = true;
        LogLine("host: error: cannot read the records file \"" + g_recordsPath + "\": " + read.error +
                "; every object starts from its defaults, and the file is not saved over in this run");
    }
    for (const auto& p : read.file.problems) {
        if (!p.id) LogLine(Format("host: warning: %s:%d: %s", g_recordsPath.c_str(), p.line, p.text.c_str()));
    }
    for (auto& o : g_objects) {
        if (o->library == nullptr) continue;
        const std::uint32_t size = o->library->recordSize;
        o->record.reset(new std::uint8_t[size]());
        const RecordChoice choice = ChooseRecord(read.file, read.existed, g_desktop.name, o->desc.id, o->desc.plugin,
                                                 size);
        if (choice.data) {
            std::copy(choice.data->begin(), choice.data->end(), o->record.get());
            o->restored = true;
            LogObject(*o, "record restored: " + Hex(o->record.get(), size));
        } else {
            o->library->plugin->entry().defaultRecord(0, o->record.get());
            if (!choice.warning.empty()) LogLine("host: warning: object " + Name(*o) + ": " + choice.warning);
            LogObject(*o, "record from QVDefault: " + Hex(o->record.get(), size));
        }
    }
}

void InitObject(HostObject& o) {
    const std::int32_t result = o.library->plugin->entry().init(&o.object, o.record.get());
    o.initialised = true;
    if (result != qv::kOk) LogObject(o, Format("QVInit returned %d", result));
}

ObjectLife Life(const HostObject& o) {
    return ObjectLife{o.library != nullptr, o.initialised};
}

// One planned call, as lifecycle.h describes it.
void Carry(const PlannedCall& c) {
    switch (c.call) {
        case HostCall::kConfig: {
            HostObject& o = *g_objects[c.index];
            LogObject(o, "Properties...: QVConfig");
            o.library->plugin->entry().config(&o.object, o.record.get(), g_main);
            return;
        }
        case HostCall::kUninit: {
            HostObject& o = *g_objects[c.index];
            o.library->plugin->entry().uninit(&o.object, o.record.get());
            o.initialised = false;
            return;
        }
        case HostCall::kInit: InitObject(*g_objects[c.index]); return;
        case HostCall::kShowRecord: {
            const HostObject& o = *g_objects[c.index];
            LogObject(o, "record now " + Hex(o.record.get(), o.library->recordSize));
            return;
        }
        case HostCall::kSaveRecords: SaveRecords(); return;
        case HostCall::kDetachAll: {
            Exclusive lock;
            for (auto& o : g_objects) o->library = nullptr;
            return;
        }
        case HostCall::kUnload: g_libraries[c.index]->plugin.reset(); return;
    }
}

}  // namespace

void AttachObjects(const std::string& recordsPath) {
    g_recordsPath = recordsPath;
    LoadLibraries();
    PrepareRecords();
    for (auto& o : g_objects) {
        if (o->library != nullptr) InitObject(*o);
    }
}

void DetachObjects() {
    if (g_shutDown) return;
    g_shutDown = true;
    std::vector<ObjectLife> lives;
    for (const auto& o : g_objects) lives.push_back(Life(*o));
    for (const PlannedCall& c : PlanShutDown(lives, g_libraries.size())) Carry(c);
    LogLine("host: every object detached and every library unloaded");
}

// ---- What the objects do ----

void ActivateObject(HostObject& o) {
    if (o.library == nullptr || !IsCustomClass(o.desc.objectClass)) {
        LogObject(o, "clicked");
        return;
    }
    const qv::PluginEntryPoints& e = o.library->plugin->entry();
    if (e.commandEx != nullptr) {
        LogObject(o, Format("clicked: QVCommandEx(\"%s\", %u, 0, 0)", o.desc.param1.c_str(), o.desc.param2));
        e.commandEx(o.desc.param1.c_str(), o.desc.param2, 0, 0);
    } else if (e.command != nullptr) {
        LogObject(o, "clicked: QVCommand(0, 0)");
        e.command(0, 0);
    } else {
        LogObject(o, "clicked (its plug-in has no command)");
    }
}

bool HasProperties(const HostObject& o) {
    return o.library != nullptr && o.library->plugin->entry().config != nullptr;
}

void OpenProperties(HostObject& o) {
    const auto at = std::find_if(g_objects.begin(), g_objects.end(), [&](const auto& p) { return p.get() == &o; });
    const std::vector<PlannedCall> calls = PlanProperties(static_cast<std::size_t>(at - g_objects.begin()), Life(o),
                                                          HasProperties(o));
    if (calls.empty()) {
        LogObject(o, "has no properties");
        return;
    }
    for (const PlannedCall& c : calls) Carry(c);
    Exclusive lock;
    ++o.propertiesDone;
}

}  // namespace qvhost
