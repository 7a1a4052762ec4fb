#include "measure_aside.h"

#include <windows.h>

#include "bin_change_watch.h"
#include "library_reference.h"
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
    const qv::UniqueHandle done(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    qv::UniqueModule reference(qv::TakeLibraryReference());
    if (!done || !reference) return MeasureBinTotals(abandon);
    Job job{&abandon, {}, done.get(), reference.get()};
    const qv::UniqueHandle helper(::CreateThread(nullptr, 0, MeasureMain, &job, 0, nullptr));
    if (!helper) return MeasureBinTotals(abandon);
    reference.release();  // the helper's own now
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
