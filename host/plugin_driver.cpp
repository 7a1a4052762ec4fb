// The host side of the contract for the desktop's objects, and the records file that keeps their
// data records between runs. The order of the calls is planned in lifecycle.h; this carries it out.
#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "host.h"

namespace qvhost {

namespace {

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

}  // namespace

// A plug-in call on the host's stack, from the call to its return.
class Host::InPluginCall {
public:
    explicit InPluginCall(Host& host) : host_(host) { host_.calls_.Enter(); }
    ~InPluginCall() {
        if (!host_.calls_.Leave()) return;
        host_.LogLine("host: the plug-in call has returned; the close asked for meanwhile is carried out");
        ::PostMessageA(host_.main_, WM_CLOSE, 0, 0);
    }
    InPluginCall(const InPluginCall&) = delete;
    InPluginCall& operator=(const InPluginCall&) = delete;

private:
    Host& host_;
};

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

// Only this host's changed records are written: what another host saved meanwhile stays as the file
// has it. A record the save did not get into the records file stays changed for the next one.
void Host::SaveRecords() {
    if (!store_) return;
    std::vector<StoredRecord> changed;
    std::vector<HostObject*> objects;
    for (const auto& o : objects_) {
        if (o->library == nullptr) continue;
        const std::uint8_t* data = o->record.get();
        const std::uint32_t size = o->library->recordSize;
        if (!RecordChanged(o->reference, data, size)) continue;
        changed.push_back(
            StoredRecord{desktop_.name, o->desc.id, o->desc.plugin, std::vector<std::uint8_t>(data, data + size)});
        objects.push_back(o.get());
    }
    const SaveOutcome outcome = store_->Save(changed);
    if (outcome != SaveOutcome::kSaved) return;
    for (std::size_t i = 0; i < objects.size(); ++i) objects[i]->reference = std::move(changed[i].data);
}

// ---- Start-up and shut-down, in the contract's order ----

void Host::LoadOnce(Library& library) {
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

void Host::LoadLibraries() {
    std::vector<DesktopObject> objects;
    for (const auto& o : objects_) objects.push_back(o->desc);
    const LoadPlan plan = PlanLoads(objects);
    for (const std::string& file : plan.libraries) {
        libraries_.push_back(std::make_unique<Library>());
        libraries_.back()->file = file;
    }
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        const ObjectLoad& load = plan.objects[i];
        if (!load.library) continue;
        HostObject& o = *objects_[i];
        Library& library = *libraries_[*load.library];
        if (load.loadsIt) LoadOnce(library);
        if (library.plugin) {
            o.library = &library;
        } else {
            SetState(o, "Error: " + library.error, true);
            LogObject(o, "shows \"Error: " + library.error + "\"");
        }
    }
}

void Host::PrepareRecords() {
    files_ = std::make_unique<Win32Files>();
    store_.emplace(*files_, recordsPath_, desktop_.name, Format(".%lu.new", ::GetCurrentProcessId()),
                   [this](const std::string& line) { LogLine(line); });
    const OpenedRecords read = store_->Open();
    for (auto& o : objects_) {
        if (o->library == nullptr) continue;
        const std::uint32_t size = o->library->recordSize;
        o->record.reset(new std::uint8_t[size]());
        const RecordChoice choice = ChooseRecord(read.file, read.existed, desktop_.name, o->desc.id, o->desc.plugin,
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

void Host::InitObject(HostObject& o) {
    const std::int32_t result = o.library->plugin->entry().init(&o.object, o.record.get());
    o.initialised = true;
    if (result != qv::kOk) LogObject(o, Format("QVInit returned %d", result));
}

namespace {

ObjectLife Life(const HostObject& o) {
    return ObjectLife{o.library != nullptr, o.initialised};
}

}  // namespace

// One planned call, as lifecycle.h describes it.
void Host::Carry(const PlannedCall& c) {
    switch (c.call) {
        case HostCall::kConfig: {
            HostObject& o = *objects_[c.index];
            LogObject(o, "Properties...: QVConfig");
            o.library->plugin->entry().config(&o.object, o.record.get(), main_);
            return;
        }
        case HostCall::kUninit: {
            HostObject& o = *objects_[c.index];
            o.library->plugin->entry().uninit(&o.object, o.record.get());
            o.initialised = false;
            return;
        }
        case HostCall::kInit: InitObject(*objects_[c.index]); return;
        case HostCall::kShowRecord: {
            const HostObject& o = *objects_[c.index];
            LogObject(o, "record now " + Hex(o.record.get(), o.library->recordSize));
            return;
        }
        case HostCall::kSaveRecords: SaveRecords(); return;
        case HostCall::kDetachAll: {
            const Exclusive lock(*this);
            for (auto& o : objects_) o->library = nullptr;
            return;
        }
        case HostCall::kUnload: libraries_[c.index]->plugin.reset(); return;
    }
}

void Host::AttachObjects(const std::string& recordsPath) {
    const InPluginCall call(*this);
    recordsPath_ = recordsPath;
    LoadLibraries();
    PrepareRecords();
    for (auto& o : objects_) {
        if (o->library == nullptr) continue;
        InitObject(*o);
        const std::uint8_t* data = o->record.get();
        if (o->restored) o->reference.emplace(data, data + o->library->recordSize);
    }
}

bool Host::MayCloseNow() {
    if (calls_.Ask(HostRequest::kClose) == Admission::kCarryOut) return true;
    LogLine("host: closing is put off until the plug-in call that is running returns");
    return false;
}

void Host::DetachObjects() {
    if (shutDown_) return;
    shutDown_ = true;
    std::vector<ObjectLife> lives;
    for (const auto& o : objects_) lives.push_back(Life(*o));
    {
        // QVUninit may pump messages too: no click reaches a plug-in being let go.
        const InPluginCall call(*this);
        for (const PlannedCall& c : PlanShutDown(lives, libraries_.size())) Carry(c);
    }
    LogLine("host: every object detached and every library unloaded");
}

// ---- What the objects do ----

void Host::ActivateObject(HostObject& o) {
    if (calls_.Ask(HostRequest::kClick) == Admission::kIgnore) {
        LogObject(o, "clicked while a plug-in call is running: ignored");
        return;
    }
    const InPluginCall call(*this);
    const qv::PluginEntryPoints* e = o.library != nullptr ? &o.library->plugin->entry() : nullptr;
    switch (ChooseActivation({e != nullptr, IsCustomClass(o.desc.objectClass), e != nullptr && e->commandEx != nullptr,
                              e != nullptr && e->command != nullptr})) {
        case Activation::kNothing: LogObject(o, "clicked"); return;
        case Activation::kCommandEx:
            LogObject(o, Format("clicked: QVCommandEx(\"%s\", %u, 0, 0)", o.desc.param1.c_str(), o.desc.param2));
            e->commandEx(o.desc.param1.c_str(), o.desc.param2, 0, 0);
            return;
        case Activation::kCommand:
            LogObject(o, "clicked: QVCommand(0, 0)");
            e->command(0, 0);
            return;
        case Activation::kNoCommand: LogObject(o, "clicked (its plug-in has no command)"); return;
    }
}

bool Host::HasProperties(const HostObject& o) const {
    return o.library != nullptr && o.library->plugin->entry().config != nullptr;
}

void Host::OpenProperties(HostObject& o) {
    if (calls_.Ask(HostRequest::kProperties) == Admission::kIgnore) {
        LogObject(o, "Properties... while a plug-in call is running: ignored");
        return;
    }
    const auto at = std::find_if(objects_.begin(), objects_.end(), [&](const auto& p) { return p.get() == &o; });
    const std::vector<PlannedCall> calls = PlanProperties(static_cast<std::size_t>(at - objects_.begin()), Life(o),
                                                          HasProperties(o));
    if (calls.empty()) {
        LogObject(o, "has no properties");
        return;
    }
    {
        const InPluginCall call(*this);
        for (const PlannedCall& c : calls) Carry(c);
    }
    const Exclusive lock(*this);
    ++o.propertiesDone;
}

}  // namespace qvhost
