// QVConfig and the properties dialog: edits an object's intervals, limits and notification switches,
// and opens with a report of how full the bin is right now against the record's limits.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "bin_measurement.h"
#include "fill_report.h"
#include "levels.h"
#include "qv_contract.h"
#include "resource_ids.h"
#include "watch_record.h"
#include "watcher_state.h"

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

// The record being edited belongs to the dialog window, not to a module-wide variable, so that a
// second properties dialog opened while one is still up never writes into the first one's record.
WatchRecord* EditedRecord(HWND dialog) noexcept {
    return reinterpret_cast<WatchRecord*>(::GetWindowLongPtrA(dialog, DWLP_USER));
}

void ShowFillReport(HWND dialog, const WatchRecord& record) noexcept {
    const BinMeasurement bin = MeasureBinTotals();
    const double megabytes = Megabytes(bin.size);

    char format[kFillReportCapacity] = {};
    if (::LoadStringA(g_instance, IDS_FILL_REPORT, format, static_cast<int>(sizeof format)) <= 0) {
        ::lstrcpynA(format, kFillReportFormat, static_cast<int>(sizeof format));
    }
    const FillReportText report = FormatFillReport(format, megabytes, static_cast<std::uint32_t>(bin.count),
                                                   LimitPercent(megabytes, record.criticalLimit),
                                                   LimitPercent(megabytes, record.warningLimit));
    ::SetDlgItemTextA(dialog, IDC_FILL_REPORT, report.data());
}

void OnInitDialog(HWND dialog, WatchRecord* record) noexcept {
    ::SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(record));
    for (const SpinnerRange& spinner : kSpinnerRanges) {
        ::SendDlgItemMessageA(dialog, spinner.control, UDM_SETRANGE, 0, MAKELPARAM(spinner.highest, spinner.lowest));
    }
    if (record == nullptr) return;
    ::CheckDlgButton(dialog, IDC_NOTIFY_CRITICAL, record->notifyCritical != 0 ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(dialog, IDC_NOTIFY_WARNING, record->notifyWarning != 0 ? BST_CHECKED : BST_UNCHECKED);
    ::SetDlgItemInt(dialog, IDC_CHECK_INTERVAL, record->checkInterval, FALSE);
    ::SetDlgItemInt(dialog, IDC_REFRESH_INTERVAL, record->refreshInterval, FALSE);
    ::SetDlgItemInt(dialog, IDC_CRITICAL_LIMIT, record->criticalLimit, FALSE);
    ::SetDlgItemInt(dialog, IDC_WARNING_LIMIT, record->warningLimit, FALSE);
    ShowFillReport(dialog, *record);
}

// Text that is not an unsigned number reads as 0.
std::uint32_t ReadNumber(HWND dialog, int control) noexcept {
    BOOL translated = FALSE;
    const UINT value = ::GetDlgItemInt(dialog, control, &translated, FALSE);
    return translated ? value : 0;
}

void OnOk(HWND dialog) noexcept {
    if (WatchRecord* record = EditedRecord(dialog)) {
        record->notifyCritical = ::IsDlgButtonChecked(dialog, IDC_NOTIFY_CRITICAL) == BST_CHECKED ? 1 : 0;
        record->notifyWarning = ::IsDlgButtonChecked(dialog, IDC_NOTIFY_WARNING) == BST_CHECKED ? 1 : 0;
        record->checkInterval = ReadNumber(dialog, IDC_CHECK_INTERVAL);
        record->refreshInterval = ReadNumber(dialog, IDC_REFRESH_INTERVAL);
        record->criticalLimit = ReadNumber(dialog, IDC_CRITICAL_LIMIT);
        record->warningLimit = ReadNumber(dialog, IDC_WARNING_LIMIT);
    }
    ::EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK WatcherDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog(dialog, reinterpret_cast<WatchRecord*>(lParam));
            return TRUE;  // the system sets the default focus
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK: OnOk(dialog); return TRUE;
                case IDCANCEL: ::EndDialog(dialog, IDCANCEL); return TRUE;
                default: return FALSE;
            }
        case WM_CLOSE: ::EndDialog(dialog, IDCANCEL); return TRUE;
        default: return FALSE;
    }
}

// Runs dialog 102 modally on a copy of the record; the record takes the edited values only on OK.
bool RunWatcherDialog(HINSTANCE instance, HWND owner, WatchRecord& record) noexcept {
    WatchRecord edited = record;
    const INT_PTR result = ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_WATCHER_PROPERTIES), owner,
                                             WatcherDialogProc, reinterpret_cast<LPARAM>(&edited));
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
