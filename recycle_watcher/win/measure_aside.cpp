#include "measure_aside.h"

#include <windows.h>

#include "bin_change_watch.h"
#include "win32_owner.h"

namespace wastewatch {

namespace {

struct Job {
    const std::atomic<bool>* abandon;
    BinMeasurement result;
    HANDLE done;
    // The helper's own reference on this library: its last call never returns into it, whatever
    // the host unloads meanwhile.
    HMODULE reference;
};

DWORD WINAPI MeasureMain(void* parameter) {
    auto* job = static_cast<Job*>(parameter);
    const HMODULE reference = job->reference;
    job->result = MeasureBinTotals(*job->abandon);
    // The job belongs to the waiting thread, which may go on at once.
    ::SetEvent(job->done);
    ::FreeLibraryAndExitThread(reference, 0);
}

}  // namespace

BinMeasurement MeasureAside(const std::atomic<bool>& abandon) noexcept {
    qv::UniqueHandle done(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Job job{&abandon, {}, done.get(), nullptr};
    if (!done || !::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&MeasureMain),
                                       &job.reference)) {
        return MeasureBinTotals(abandon);
    }
    const qv::UniqueHandle helper(::CreateThread(nullptr, 0, MeasureMain, &job, 0, nullptr));
    if (!helper) {
        ::FreeLibrary(job.reference);
        return MeasureBinTotals(abandon);
    }
    HANDLE ended = done.get();
    for (;;) {
        const DWORD woken = ::MsgWaitForMultipleObjectsEx(1, &ended, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0) break;
        if (woken == WAIT_OBJECT_0 + 1) {
            BinChangeWatch::DispatchMessages();
            continue;
        }
        // The job must outlive the helper's use of it, whatever the wait says.
        ::WaitForSingleObject(ended, INFINITE);
        break;
    }
    return job.result;
}

}  // namespace wastewatch
