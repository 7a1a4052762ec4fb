#include "plugin_driver.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "lifecycle.h"

namespace qvhost {

namespace {

std::vector<std::unique_ptr<Library>> g_libraries;  // in load order
std::string g_recordsPath;
bool g_shutDown = false;
PluginCalls g_calls;

std::string Hex(const std::uint8_t* data, std::uint32_t size) {
    std::string text;
    for (std::uint32_t i = 0; i < size; ++i) text += Format(i == 0 ? "%02x" : (i % 4 == 0 ? " %02x" : "%02x"), data[i]);
    return text.empty() ? "(empty)" : text;
}

// A plug-in call on the host's stack, from the call to its return.
class InPluginCall {
public:
    InPluginCall() { g_calls.Enter(); }
    ~InPluginCall() {
        if (!g_calls.Leave()) return;
        LogLine("host: the plug-in call has returned; the close asked for meanwhile is carried out");
        ::PostMessageA(g_main, WM_CLOSE, 0, 0);
    }
    InPluginCall(const InPluginCall&) = delete;
    InPluginCall& operator=(const InPluginCall&) = delete;
};

// ---- The records file ----

std::string Cause(DWORD error) {
    switch (error) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return Format("another program holds it open (sharing violation, error %lu)", error);
        case ERROR_ACCESS_DENIED: return Format("access denied (error %lu)", error);
        default: return Format("error %lu", error);
    }
}

PortResult Fault(FileFault fault, DWORD error) {
    return PortResult{fault, Cause(error)};
}

class LockFile : public HeldLock {
public:
    explicit LockFile(qv::UniqueFile handle) : handle_(std::move(handle)) {}

private:
    qv::UniqueFile handle_;
};

// The records file's port onto the file system: each call one attempt, classified.
class Win32Files : public FilePort {
public:
    FileText Read(const std::string& path) override { return ReadWholeFile(path); }

    PortResult Write(const std::string& path, const std::string& text) override {
        qv::UniqueFile file(
            ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return Fault(FileFault::kOther, ::GetLastError());
        DWORD written = 0;
        if (!::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            !::FlushFileBuffers(file.get()))
            return Fault(FileFault::kOther, ::GetLastError());
        if (written != text.size()) return PortResult{FileFault::kOther, Format("only %lu bytes written", written)};
        return {};
    }

    PortResult Replace(const std::string& from, const std::string& to) override {
        if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return {};
        const DWORD error = ::GetLastError();
        // A file another program holds open refuses its replacement so, for as long as it holds it.
        const bool inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                           error == ERROR_ACCESS_DENIED;
        return Fault(inUse ? FileFault::kInUse : FileFault::kOther, error);
    }

    PortResult Remove(const std::string& path) override {
        if (::DeleteFileA(path.c_str())) return {};
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return {};
        return Fault(FileFault::kOther, error);
    }

    std::unique_ptr<HeldLock> Lock(const std::string& path, PortResult& result) override {
        qv::UniqueFile lock(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (lock) return std::make_unique<LockFile>(std::move(lock));
        const DWORD error = ::GetLastError();
        if (error == ERROR_SHARING_VIOLATION) {
            result = Fault(FileFault::kInUse, error);
        } else if (error == ERROR_ACCESS_DENIED) {
            const DWORD attributes = ::GetFileAttributesA(path.c_str());
            const bool never = attributes != INVALID_FILE_ATTRIBUTES &&
                               (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0;
            result = never ? PortResult{FileFault::kNeverOpens,
                                        Format("access denied (error %lu): it is %s", error,
                                               (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "a folder" : "read-only")}
                           : Fault(FileFault::kDenied, error);
        } else {
            result = Fault(FileFault::kOther, error);
        }
        return nullptr;
    }

    std::uint32_t NowMs() override { return ::GetTickCount(); }
    void Pause(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
};

Win32Files g_files;
std::optional<RecordStore> g_store;

}  // namespace

FileText ReadWholeFile(const std::string& path) {
    FileText result;
    qv::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
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
    if (static_cast<std::uint64_t>(size.QuadPart) > kMaxRecordsFileBytes) {
        result.failure = Format("it holds %lld bytes, more than %llu", static_cast<long long>(size.QuadPart),
                                static_cast<unsigned long long>(kMaxRecordsFileBytes));
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
        if (text.size() > kMaxRecordsFileBytes) {
            result.failure = Format("it grew past %llu bytes while being read",
                                    static_cast<unsigned long long>(kMaxRecordsFileBytes));
            return result;
        }
    }
    result.outcome = FileRead::kRead;
    result.text = std::move(text);
    return result;
}

namespace {

// Only this host's changed records are written: what another host saved meanwhile stays as the file
// has it. A record the save did not get into the records file stays changed for the next one.
void SaveRecords() {
    if (!g_store) return;
    std::vector<StoredRecord> changed;
    std::vector<HostObject*> objects;
    for (const auto& o : g_objects) {
        if (o->library == nullptr) continue;
        const std::uint8_t* data = o->record.get();
        const std::uint32_t size = o->library->recordSize;
        if (!RecordChanged(o->reference, data, size)) continue;
        changed.push_back(
            StoredRecord{g_desktop.name, o->desc.id, o->desc.plugin, std::vector<std::uint8_t>(data, data + size)});
        objects.push_back(o.get());
    }
    const SaveOutcome outcome = g_store->Save(changed);
    if (outcome != SaveOutcome::kSaved) return;
    for (std::size_t i = 0; i < objects.size(); ++i) objects[i]->reference = std::move(changed[i].data);
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
    g_store.emplace(g_files, g_recordsPath, g_desktop.name, Format(".%lu.new", ::GetCurrentProcessId()), LogLine);
    const OpenedRecords read = g_store->Open();
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
    const InPluginCall call;
    g_recordsPath = recordsPath;
    LoadLibraries();
    PrepareRecords();
    for (auto& o : g_objects) {
        if (o->library == nullptr) continue;
        InitObject(*o);
        const std::uint8_t* data = o->record.get();
        if (o->restored) o->reference.emplace(data, data + o->library->recordSize);
    }
}

bool MayCloseNow() {
    if (g_calls.Ask(HostRequest::kClose) == Admission::kCarryOut) return true;
    LogLine("host: closing is put off until the plug-in call that is running returns");
    return false;
}

void DetachObjects() {
    if (g_shutDown) return;
    g_shutDown = true;
    std::vector<ObjectLife> lives;
    for (const auto& o : g_objects) lives.push_back(Life(*o));
    {
        // QVUninit may pump messages too: no click reaches a plug-in being let go.
        const InPluginCall call;
        for (const PlannedCall& c : PlanShutDown(lives, g_libraries.size())) Carry(c);
    }
    LogLine("host: every object detached and every library unloaded");
}

// ---- What the objects do ----

void ActivateObject(HostObject& o) {
    if (g_calls.Ask(HostRequest::kClick) == Admission::kIgnore) {
        LogObject(o, "clicked while a plug-in call is running: ignored");
        return;
    }
    const InPluginCall call;
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
    if (g_calls.Ask(HostRequest::kProperties) == Admission::kIgnore) {
        LogObject(o, "Properties... while a plug-in call is running: ignored");
        return;
    }
    const auto at = std::find_if(g_objects.begin(), g_objects.end(), [&](const auto& p) { return p.get() == &o; });
    const std::vector<PlannedCall> calls = PlanProperties(static_cast<std::size_t>(at - g_objects.begin()), Life(o),
                                                          HasProperties(o));
    if (calls.empty()) {
        LogObject(o, "has no properties");
        return;
    }
    {
        const InPluginCall call;
        for (const PlannedCall& c : calls) Carry(c);
    }
    Exclusive lock;
    ++o.propertiesDone;
}

}  // namespace qvhost
