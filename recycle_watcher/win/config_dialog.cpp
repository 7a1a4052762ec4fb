// QVConfig and the properties dialog: edits an object's intervals, limits and notification switches,
// and shows how full the bin is against the record's limits. The report opens with the monitor's last
// measurement while it still holds, and is measured again every refresh interval while the dialog
// stays open, on a thread of its own: the dialog never waits for a measurement once it is up.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <optional>
#include <utility>

#include "bin_emptier.h"
#include "bin_measurement.h"
#include "dialog_procedure.h"
#include "fill_report.h"
#include "levels.h"
#include "library_reference.h"
#include "qv_contract.h"
#include "report_refresh.h"
#include "resource_ids.h"
#include "watch_record.h"
#include "watcher_state.h"
#include "win32_owner.h"

namespace wastewatch {
namespace {

struct SpinnerRange {
    int control;
    short lowest;
    short highest;
};

// The ranges bind only the arrows: a value typed beyond them is stored as typed.
constexpr SpinnerRange kSpinnerRanges[] = {
    {IDC_CHECK_INTERVAL_SPIN, 1, 3600},
    {IDC_REFRESH_INTERVAL_SPIN, 1, 3600},
    {IDC_CRITICAL_LIMIT_SPIN, 0, 100},
    {IDC_WARNING_LIMIT_SPIN, 0, 100},
};

// A report read from the bin, or nothing known ("?").
struct Reading {
    bool known = false;
    BinMeasurement bin{};
};

// One reader of the bin's gate for as long as it lives: it reads only while no emptying of this
// plug-in runs or waits (a shell reading the bin while it is being emptied can leave parts behind).
class GatedRead {
public:
    GatedRead() noexcept : reader_(JoinBinReaders()), reading_(reader_ && TryBeginBinRead(*reader_)) {}
    GatedRead(const GatedRead&) = delete;
    GatedRead& operator=(const GatedRead&) = delete;
    ~GatedRead() {
        if (reading_) EndBinRead(*reader_);
        if (reader_) LeaveBinReaders(*reader_);
    }
    bool Reading() const noexcept { return reading_; }

private:
    std::optional<BinGate::Reader> reader_;
    bool reading_;
};

// The monitor's last measurement while it still holds; otherwise a measurement of our own.
Reading TakeReading(const std::atomic<bool>& abandon) noexcept {
    const GatedRead read;
    const MonitorMeasurement last = LastMeasurement();
    switch (ChooseReportSource(last, ::GetTickCount(), EmptyingsDone(), read.Reading())) {
        case ReportSource::kLast: return {true, {last.count, last.size}};
        case ReportSource::kMeasure: return {true, MeasureBinTotals(abandon)};
        case ReportSource::kUnknown: break;
    }
    return {};
}

// A refresh under way, shared by the dialog and the thread that measures for it; the last of the two
// to let go deletes it. The thread posts to the dialog only while the dialog has not cleared it.
struct RefreshSlot {
    std::atomic<int> owners{2};
    std::atomic<bool> abandon{false};  // the dialog is gone: a walk under way may stop
    HMODULE reference = nullptr;       // the thread's own, given up as it leaves
    SRWLOCK lock = SRWLOCK_INIT;
    HWND dialog = nullptr;  // guarded by lock
    Reading reading;        // guarded by lock
};

// The slot comes from the process heap, never from the C++ runtime's allocator.
RefreshSlot* NewRefreshSlot() noexcept {
    void* memory = ::HeapAlloc(::GetProcessHeap(), 0, sizeof(RefreshSlot));
    return memory == nullptr ? nullptr : new (memory) RefreshSlot;
}

void DropRefreshSlot(RefreshSlot* slot) noexcept {
    if (slot->owners.fetch_sub(1) != 1) return;
    slot->~RefreshSlot();
    ::HeapFree(::GetProcessHeap(), 0, slot);
}

// Posted by a refresh's thread: its reading is in the slot (lParam).
constexpr UINT kReportReady = WM_APP + 1;
constexpr UINT_PTR kRefreshTimer = 1;

DWORD WINAPI RefreshMain(void* parameter) {
    auto* slot = static_cast<RefreshSlot*>(parameter);
    const HMODULE reference = slot->reference;
    const Reading reading = TakeReading(slot->abandon);
    {
        const qv::ExclusiveLock lock(slot->lock);
        slot->reading = reading;
        if (slot->dialog != nullptr) ::PostMessageA(slot->dialog, kReportReady, 0, reinterpret_cast<LPARAM>(slot));
    }
    DropRefreshSlot(slot);
    ::FreeLibraryAndExitThread(reference, 0);
}

// What the dialog keeps while it is up (on RunWatcherDialog's stack). The record belongs to the
// dialog window, not to a module-wide variable, so that a second properties dialog opened while one
// is still up never writes into the first one's record.
struct DialogState {
    WatchRecord* record = nullptr;
    std::uint32_t refreshSeconds = 0;   // the refresh interval in force when the dialog opened
    DWORD lastReport = 0;               // when the report was last shown
    RefreshSlot* refreshing = nullptr;  // the refresh under way
};

void ShowFillReport(HWND dialog, const WatchRecord& record, const Reading& reading) noexcept {
    if (!reading.known) {
        ::SetDlgItemTextA(dialog, IDC_FILL_REPORT, "?");
        return;
    }
    const double megabytes = Megabytes(reading.bin.size);
    char format[kFillReportCapacity] = {};
    if (::LoadStringA(g_instance, IDS_FILL_REPORT, format, static_cast<int>(sizeof format)) <= 0) {
        ::lstrcpynA(format, kFillReportFormat, static_cast<int>(sizeof format));
    }
    const FillReportText report = FormatFillReport(format, megabytes, static_cast<std::uint32_t>(reading.bin.count),
                                                   LimitPercent(megabytes, record.criticalLimit),
                                                   LimitPercent(megabytes, record.warningLimit));
    ::SetDlgItemTextA(dialog, IDC_FILL_REPORT, report.data());
}

void ScheduleRefresh(HWND dialog, DialogState& state) noexcept;

// The measuring thread holds a library reference of its own, so that neither the dialog nor an
// unload ever waits for it.
void StartRefresh(HWND dialog, DialogState& state) noexcept {
    RefreshSlot* slot = NewRefreshSlot();
    if (slot != nullptr) {
        slot->dialog = dialog;
        qv::UniqueModule reference(qv::TakeLibraryReference());
        slot->reference = reference.get();
        if (reference) {
            const qv::UniqueHandle thread(::CreateThread(nullptr, 0, RefreshMain, slot, 0, nullptr));
            if (thread) {
                reference.release();  // the thread's own now
                state.refreshing = slot;
                return;
            }
        }
        slot->owners.store(1);
        DropRefreshSlot(slot);
    }
    // No thread to measure: the report stands, and the next interval tries again.
    state.lastReport = ::GetTickCount();
    ScheduleRefresh(dialog, state);
}

void ScheduleRefresh(HWND dialog, DialogState& state) noexcept {
    const RefreshDecision next = DecideRefresh(state.refreshSeconds, state.refreshing != nullptr,
                                               ::GetTickCount() - state.lastReport);
    switch (next.kind) {
        case RefreshKind::kNever: break;
        case RefreshKind::kNotDue: ::SetTimer(dialog, kRefreshTimer, next.waitMs, nullptr); break;
        case RefreshKind::kDue: StartRefresh(dialog, state); break;
    }
}

void OnReportReady(HWND dialog, DialogState& state, LPARAM slotParameter) noexcept {
    RefreshSlot* slot = state.refreshing;
    if (slot == nullptr || reinterpret_cast<LPARAM>(slot) != slotParameter) return;
    Reading reading;
    {
        const qv::ExclusiveLock lock(slot->lock);
        reading = slot->reading;
    }
    state.refreshing = nullptr;
    DropRefreshSlot(slot);
    ShowFillReport(dialog, *state.record, reading);
    state.lastReport = ::GetTickCount();
    ScheduleRefresh(dialog, state);
}

// After this, nothing refers to the dialog: a refresh still measuring finds no window to post to.
void OnDestroy(HWND dialog, DialogState& state) noexcept {
    ::KillTimer(dialog, kRefreshTimer);
    RefreshSlot* slot = std::exchange(state.refreshing, nullptr);
    if (slot == nullptr) return;
    {
        const qv::ExclusiveLock lock(slot->lock);
        slot->dialog = nullptr;
    }
    slot->abandon.store(true);
    DropRefreshSlot(slot);
}

void OnInitDialog(HWND dialog, DialogState* state) noexcept {
    for (const SpinnerRange& spinner : kSpinnerRanges) {
        ::SendDlgItemMessageA(dialog, spinner.control, UDM_SETRANGE, 0, MAKELPARAM(spinner.highest, spinner.lowest));
    }
    if (state == nullptr || state->record == nullptr) return;
    const WatchRecord& record = *state->record;
    ::CheckDlgButton(dialog, IDC_NOTIFY_CRITICAL, record.notifyCritical != 0 ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(dialog, IDC_NOTIFY_WARNING, record.notifyWarning != 0 ? BST_CHECKED : BST_UNCHECKED);
    ::SetDlgItemInt(dialog, IDC_CHECK_INTERVAL, record.checkInterval, FALSE);
    ::SetDlgItemInt(dialog, IDC_REFRESH_INTERVAL, record.refreshInterval, FALSE);
    ::SetDlgItemInt(dialog, IDC_CRITICAL_LIMIT, record.criticalLimit, FALSE);
    ::SetDlgItemInt(dialog, IDC_WARNING_LIMIT, record.warningLimit, FALSE);
    static const std::atomic<bool> kNeverAbandoned{false};
    ShowFillReport(dialog, record, TakeReading(kNeverAbandoned));
    state->lastReport = ::GetTickCount();
    ScheduleRefresh(dialog, *state);
}

// Text that is not an unsigned number reads as 0.
std::uint32_t ReadNumber(HWND dialog, int control) noexcept {
    BOOL translated = FALSE;
    const UINT value = ::GetDlgItemInt(dialog, control, &translated, FALSE);
    return translated ? value : 0;
}

bool OnOk(HWND dialog, DialogState* state) noexcept {
    if (WatchRecord* record = state != nullptr ? state->record : nullptr) {
        record->notifyCritical = ::IsDlgButtonChecked(dialog, IDC_NOTIFY_CRITICAL) == BST_CHECKED ? 1 : 0;
        record->notifyWarning = ::IsDlgButtonChecked(dialog, IDC_NOTIFY_WARNING) == BST_CHECKED ? 1 : 0;
        record->checkInterval = ReadNumber(dialog, IDC_CHECK_INTERVAL);
        record->refreshInterval = ReadNumber(dialog, IDC_REFRESH_INTERVAL);
        record->criticalLimit = ReadNumber(dialog, IDC_CRITICAL_LIMIT);
        record->warningLimit = ReadNumber(dialog, IDC_WARNING_LIMIT);
    }
    return true;
}

// The refresh's timer and report, and the end of the dialog.
INT_PTR OnRefreshMessage(HWND dialog, DialogState* state, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (message) {
        case WM_TIMER:
            if (wParam != kRefreshTimer) return FALSE;
            ::KillTimer(dialog, kRefreshTimer);
            if (state != nullptr) ScheduleRefresh(dialog, *state);
            return TRUE;
        case kReportReady:
            if (state != nullptr) OnReportReady(dialog, *state, lParam);
            return TRUE;
        case WM_DESTROY:
            if (state != nullptr) OnDestroy(dialog, *state);
            return FALSE;
        default: return FALSE;
    }
}

constexpr DLGPROC kWatcherDialogProc = &qv::DialogProcedure<DialogState, OnInitDialog, OnOk, OnRefreshMessage>;

// Runs dialog 102 modally on a copy of the record; the record takes the edited values only on OK.
bool RunWatcherDialog(HINSTANCE instance, HWND owner, WatchRecord& record) noexcept {
    WatchRecord edited = record;
    DialogState state;
    state.record = &edited;
    state.refreshSeconds = RefreshIntervalInForce();
    const INT_PTR result = ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_WATCHER_PROPERTIES), owner,
                                             kWatcherDialogProc, reinterpret_cast<LPARAM>(&state));
    if (result != IDOK) return false;
    record = edited;
    return true;
}

}  // namespace
}  // namespace wastewatch

extern "C" std::int32_t __stdcall QVConfig(const qv::ObjectRecord* object, wastewatch::WatchRecord* record,
                                           HWND owner) noexcept {
    if (object == nullptr || record == nullptr) return qv::kOk;
    // Unless this is the process's first dialog, the record shows (and keeps) the intervals in force.
    wastewatch::PrepareConfig(*record);
    if (wastewatch::RunWatcherDialog(wastewatch::g_instance, owner, *record)) {
        wastewatch::CommitConfig(object->id, *record);
    }
    return qv::kOk;
}
