// The validator as its users run it, a program of its own, on plug-ins with one known fault each and on
// plug-ins without: it fails the checks that each fault breaks and names the fault in their causes, and
// passes the sound plug-ins. Its JSON report is what is read.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "json_reader.h"
#include "win32_owner.h"
#include "wine_test_support.h"

namespace {

struct FailedCheck {
    std::string check;
    std::vector<std::string> words;
};

struct Row {
    const char* name;
    const char* plugin;
    const char* options;
    std::vector<FailedCheck> failed;  // none: every check passes and the run exits with 0
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.plugin << ' ' << row.options;
}

// Stands for the exception code that this platform gives a read of an unmapped address.
constexpr char kFaultCode[] = "<fault code>";

// Each fault row runs only the check that must find it, to keep the run short; the control runs all of
// them. Our own plug-ins pass every check in the runs of qvcheck_<plug-in>, which CI makes with more cycles.
const Row kRows[] = {
    {"Cdecl",
     "QvFixtureCdecl.dll",
     "--only info",
     {{"info", {"removed 0 bytes of arguments from the stack", "built as __cdecl?"}}}},
    {"ThreadPerInit", "QvFixtureThreadPerInit.dll", "--only cycles", {{"cycles", {"threads", "per round"}}}},
    {"HandlePerInit", "QvFixtureHandlePerInit.dll", "--only cycles", {{"cycles", {"handles", "per round"}}}},
    {"CrashOnFilledRecord", "QvFixtureTrustsRecordCount.dll", "--only hostile", {{"hostile", {"crashed", kFaultCode}}}},
    {"WindowLostAfterUninit",
     "QvFixtureDefaultProcOnUninit.dll",
     "--only window",
     {{"window", {"did not reach the host's procedure"}}}},
    {"DefaultPastRecord", "QvFixtureDefaultPastRecord.dll", "--only default", {{"default", {"past the record"}}}},
    {"HangInUninit",
     "QvFixtureHangInUninit.dll",
     "--only cycles --timeout-ms 5000",
     {{"cycles", {"did not return within"}}}},
    {"Sound", "QvFixtureNone.dll", "", {}},
};

constexpr char kCycles[] = "6";
constexpr DWORD kRunLimitMs = 280000;

struct QvcheckOutput {
    DWORD exitCode = 0xFFFFFFFF;
    std::string table;  // what it printed
    std::string json;
};

QvcheckOutput RunQvcheck(const Row& row) {
    char folder[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, folder);
    const std::string base = std::string(folder) + "qvcheck_" + row.name;
    const std::string jsonPath = base + ".json";
    ::DeleteFileA(jsonPath.c_str());
    const std::string arguments = std::string("--cycles ") + kCycles + " --json \"" + jsonPath + "\" " + row.options +
                                  " \"" + qvtest::BesideProgram(row.plugin) + "\"";
    const qvtest::ProgramRun run = qvtest::RunBeside(
        "qvcheck.exe", arguments, base + ".txt", [] {}, kRunLimitMs);
    QvcheckOutput result{run.exitCode, run.output, qvtest::ReadWholeFile(jsonPath)};
    ::DeleteFileA(jsonPath.c_str());
    return result;
}

// A read of an unmapped address is an access violation, 0xC0000005, under Windows and Wine; but under
// Wine on QEMU's user-mode emulation of i386 every fault arrives as an illegal instruction, 0xC000001D.
// So the code a crash shows is measured here, on a thread of this process.
DWORD g_faultingThread = 0;
DWORD g_faultCode = 0;

void LeaveFaultingThread() {
    ::ExitThread(0);
}

LONG CALLBACK NoteFault(EXCEPTION_POINTERS* fault) {
    if (::GetCurrentThreadId() != g_faultingThread) return EXCEPTION_CONTINUE_SEARCH;
    g_faultCode = fault->ExceptionRecord->ExceptionCode;
    fault->ContextRecord->Eip = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(&LeaveFaultingThread));
    return EXCEPTION_CONTINUE_EXECUTION;
}

DWORD WINAPI ReadUnmapped(void* address) {
    g_faultingThread = ::GetCurrentThreadId();
    return *static_cast<volatile DWORD*>(address);
}

void ReleaseReserved(void* address) noexcept {
    ::VirtualFree(address, 0, MEM_RELEASE);
}

std::string FaultCodeHere() {
    // Reserved but never committed: no page there can be read.
    const qv::UniqueResource<void*, ReleaseReserved> unmapped(
        ::VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS));
    PVOID handler = ::AddVectoredExceptionHandler(1, &NoteFault);
    qv::UniqueHandle thread(::CreateThread(nullptr, 0, &ReadUnmapped, unmapped.get(), 0, nullptr));
    if (thread) ::WaitForSingleObject(thread.get(), 60000);
    ::RemoveVectoredExceptionHandler(handler);
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", g_faultCode);
    return code;
}

std::string Text(const qvtest::JsonValue* value) {
    return value != nullptr && value->kind == qvtest::JsonValue::Kind::kString ? value->text : std::string();
}

// Whether the check failed with every word in its cause.
bool FailedWithWords(const qvtest::JsonValue& checks, const FailedCheck& expected) {
    for (const qvtest::JsonValue& check : checks.items) {
        if (Text(check.Find("check")) != expected.check) continue;
        if (Text(check.Find("result")) != "fail") continue;
        const std::string cause = Text(check.Find("cause"));
        bool all = true;
        for (const std::string& word : expected.words) all = all && cause.find(word) != std::string::npos;
        if (all) return true;
    }
    return false;
}

class QvcheckRun : public ::testing::TestWithParam<Row> {};

TEST_P(QvcheckRun, FailsTheChecksItsFaultBreaks) {
    const Row& row = GetParam();
    const QvcheckOutput run = RunQvcheck(row);
    SCOPED_TRACE(std::string("qvcheck's table:\n") + run.table);
    const std::optional<qvtest::JsonValue> report = qvtest::ParseJson(run.json);
    ASSERT_TRUE(report.has_value()) << "no JSON report, or not JSON: " << run.json;
    const qvtest::JsonValue* checks = report->Find("checks");
    ASSERT_TRUE(checks != nullptr && checks->kind == qvtest::JsonValue::Kind::kArray);
    ASSERT_FALSE(checks->items.empty());
    const qvtest::JsonValue* passed = report->Find("passed");
    ASSERT_TRUE(passed != nullptr && passed->kind == qvtest::JsonValue::Kind::kBool);

    if (row.failed.empty()) {
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(passed->boolean);
        for (const qvtest::JsonValue& check : checks->items)
            EXPECT_NE(Text(check.Find("result")), "fail")
                << Text(check.Find("check")) << ": " << Text(check.Find("cause"));
        return;
    }
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_FALSE(passed->boolean);
    for (FailedCheck expected : row.failed) {
        for (std::string& word : expected.words)
            if (word == kFaultCode) word = FaultCodeHere();
        std::string words;
        for (const std::string& word : expected.words) words += " \"" + word + "\"";
        EXPECT_TRUE(FailedWithWords(*checks, expected)) << "no failed check " << expected.check << " with" << words;
    }
}

INSTANTIATE_TEST_SUITE_P(Plugins, QvcheckRun, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
