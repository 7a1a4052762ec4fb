#include "verdicts.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>

namespace qvcheck {
namespace {

struct ResourceRule {
    const char* unit;       // as counted: "handles", "heap bytes"
    bool bytes;             // shown as a whole number of bytes
    double tolerance[3];    // growth per round tolerated at levels 1, 2, 3
    bool warnOnlyAtLevel1;  // noisy measures that the system's own caches grow too
    const char* hint;
};

constexpr std::array<ResourceRule, kResourceCount> kRules = {{
    {"handles",
     false,
     {0.2, 0.2, 0.02},
     false,
     "a handle opened in QVInit or at load is not closed by QVUninit or at unload"},
    {"threads",
     false,
     {0.2, 0.2, 0.02},
     false,
     "a thread started in QVInit or at load is still running after QVUninit and unload"},
    {"TLS indexes",
     false,
     {0.2, 0.2, 0.02},
     false,
     "a TLS index allocated at load is not freed at unload (a runtime that keeps one per load?)"},
    {"heap bytes",
     true,
     {256, 256, 16},
     true,
     "memory allocated in QVInit or at load is not freed by QVUninit or at unload"},
    {"bytes of address space",
     true,
     {16384, 16384, 1024},
     true,
     "memory or a thread's stack is not released at unload"},
    {"global atoms", false, {0.2, 0.2, 0.02}, false, "a global atom added in QVInit is not deleted by QVUninit"},
    {"USER objects",
     false,
     {0.2, 0.2, 0.02},
     false,
     "a window, menu or hook made in QVInit is not destroyed by QVUninit"},
    {"GDI objects", false, {0.2, 0.2, 0.02}, false, "a GDI object made in QVInit is not deleted by QVUninit"},
}};

double Slope(const Sample& from, const Sample& to) {
    return to.round == from.round ? 0 : (to.value - from.value) / (to.round - from.round);
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%+.*f", decimals, value);
    return text;
}

}  // namespace

void Verdict::Note(Result at, const std::string& text) {
    if (at > result && at != Result::kSkip) result = at;
    if (!text.empty()) cause += (cause.empty() ? "" : "; ") + text;
}

Result LeftToPlugin(int level) noexcept {
    return level >= 2 ? Result::kWarn : Result::kPass;
}

Verdict ReadPluginInfo(const InfoReading& first, const InfoReading& second, int level) {
    Verdict verdict;
    if (!first.recordSize) verdict.Note(Result::kFail, "QVGetPluginInfo did not write the record size");
    if (!first.flag) verdict.Note(Result::kFail, "QVGetPluginInfo did not write the flag");
    if (!first.descriptionWritten) {
        verdict.Note(Result::kFail, "QVGetPluginInfo did not write the description's address");
    } else if (!first.description) {
        verdict.Note(Result::kFail, "the description is not a readable NUL-terminated text of at most 64 KiB");
    }
    if (first.recordSize != second.recordSize || first.flag != second.flag || first.description != second.description) {
        verdict.Note(Result::kFail, "two calls of QVGetPluginInfo disagree: the host may read either");
    }
    if (first.flag && *first.flag != 1) {
        verdict.Note(level >= 3 ? Result::kFail : LeftToPlugin(level),
                     "the flag is " + std::to_string(*first.flag) + "; the contract sets it to 1");
    }
    if (first.recordSize == 0u) {
        verdict.Note(LeftToPlugin(level), "the record size is 0: the host keeps no data for its objects");
    } else if (first.recordSize && *first.recordSize > 65536) {
        verdict.Note(LeftToPlugin(level), "the record of " + std::to_string(*first.recordSize) +
                                              " bytes is over the reference host's cap of 64 KiB");
    }
    if (first.description && first.description->empty()) verdict.Note(LeftToPlugin(level), "the description is empty");
    const auto shown = [](const std::optional<std::uint32_t>& value) {
        return value ? std::to_string(*value) : std::string("not written");
    };
    verdict.figure = "record " + shown(first.recordSize) + " bytes, flag " + shown(first.flag) + ", description " +
                     (first.description ? std::to_string(first.description->size()) + " characters" : "unreadable");
    return verdict;
}

Verdict ReadDefaultFills(const DefaultFills& fills, std::uint32_t recordSize, int level) {
    Verdict verdict;
    constexpr std::size_t kGuard = DefaultFills::kGuard;
    std::size_t before = 0, past = 0, firstPast = SIZE_MAX;
    for (std::size_t run = 0; run < fills.buffers.size(); ++run) {
        const std::vector<std::uint8_t>& buffer = fills.buffers[run];
        const std::uint8_t sentinel = DefaultFills::kSentinels[run];
        for (std::size_t i = 0; i < kGuard; ++i) {
            if (buffer[i] != sentinel) ++before;
            if (buffer[kGuard + recordSize + i] != sentinel) {
                ++past;
                firstPast = std::min(firstPast, i);
            }
        }
    }
    if (past != 0) {
        verdict.Note(Result::kFail, "QVDefault wrote past the record: the " + std::to_string(recordSize) +
                                        "-byte record that QVGetPluginInfo reports was overrun from byte " +
                                        std::to_string(recordSize + firstPast) + " on");
    }
    if (before != 0) verdict.Note(Result::kFail, "QVDefault wrote before the record's first byte");
    std::size_t unwritten = 0, different = 0;
    for (std::size_t i = kGuard; i < kGuard + recordSize; ++i) {
        if (fills.buffers[0][i] == DefaultFills::kSentinels[0] && fills.buffers[1][i] == DefaultFills::kSentinels[1]) {
            ++unwritten;
        }
        if (fills.buffers[0][i] != fills.buffers[2][i]) ++different;
    }
    if (different != 0) {
        verdict.Note(level >= 3 ? Result::kFail : LeftToPlugin(level),
                     "QVDefault writes different bytes on each call (" + std::to_string(different) + " of them)");
    }
    if (unwritten != 0 && level >= 3) {
        verdict.Note(Result::kWarn,
                     "QVDefault leaves " + std::to_string(unwritten) + " bytes of the record as they were");
    }
    verdict.figure = std::to_string(recordSize - unwritten) + " of " + std::to_string(recordSize) + " bytes written" +
                     (different == 0 ? ", the same each time" : "");
    return verdict;
}

Growth ReadGrowth(Resource resource, const std::vector<Sample>& samples, int level) {
    if (samples.size() < 3) return {Result::kPass, 0};
    const ResourceRule& rule = kRules[static_cast<std::size_t>(resource)];
    const Sample& first = samples.front();
    const Sample& middle = samples[samples.size() / 2];
    const Sample& last = samples.back();
    const double tolerance = rule.tolerance[level - 1];
    const bool firstHalf = Slope(first, middle) > tolerance;
    const bool secondHalf = Slope(middle, last) > tolerance;
    const double perRound = Slope(first, last);
    if (firstHalf && secondHalf) {
        return {rule.warnOnlyAtLevel1 && level == 1 ? Result::kWarn : Result::kFail, perRound};
    }
    if (secondHalf) return {Result::kWarn, perRound};
    return {Result::kPass, perRound};
}

std::string GrowthFigure(Resource resource, double perRound, bool measured) {
    const ResourceRule& rule = kRules[static_cast<std::size_t>(resource)];
    if (!measured) return std::string(rule.unit) + " not measured";
    return Fixed(perRound, rule.bytes ? 0 : 2) + " " + rule.unit;
}

std::string GrowthCause(Resource resource, const Growth& growth, std::uint32_t rounds) {
    const ResourceRule& rule = kRules[static_cast<std::size_t>(resource)];
    if (growth.result == Result::kPass) return {};
    std::string cause = Fixed(growth.perRound, rule.bytes ? 0 : 2).substr(1) + " " + rule.unit +
                        " more per round over " + std::to_string(rounds) + " rounds";
    if (growth.result == Result::kWarn) return cause + ", growing only in the later rounds: " + rule.hint + "?";
    return cause + ": " + rule.hint;
}

std::string StackCause(std::string_view function, std::uint32_t argumentBytes, std::string_view argumentWords,
                       std::int64_t removedBytes) {
    if (removedBytes == argumentBytes) return {};
    std::string cause = std::string(function) + " removed " + std::to_string(removedBytes) +
                        " bytes of arguments from the stack; a __stdcall function with " + std::string(argumentWords) +
                        " removes " + std::to_string(argumentBytes);
    if (removedBytes == 0) return cause + ": built as __cdecl?";
    return cause + ": declared with other arguments than the contract's?";
}

std::string RegisterCause(std::string_view function, std::string_view registerName, std::uint32_t before,
                          std::uint32_t after) {
    if (before == after) return {};
    return std::string(function) + " changed " + std::string(registerName) + " from " + Hex(before) + " to " +
           Hex(after) + "; the caller's EBX, ESI, EDI and EBP must survive a call: assembly or a wrong declaration?";
}

TimeVerdict ReadTimes(const std::vector<CallTime>& times, double budgetMs) {
    TimeVerdict verdict{Result::kPass, {}, {}};
    for (const CallTime& time : times) {
        if (time.calls == 0 && time.dialogCalls == 0) continue;
        char text[200];
        if (time.calls != 0) {
            std::snprintf(text, sizeof text, "%s%s %.2f ms worst, %.3f ms mean", verdict.figure.empty() ? "" : "; ",
                          time.function.c_str(), time.worstMs, time.totalMs / time.calls);
        } else {
            std::snprintf(text, sizeof text, "%s%s", verdict.figure.empty() ? "" : "; ", time.function.c_str());
        }
        verdict.figure += text;
        if (time.dialogCalls != 0) {
            std::snprintf(text, sizeof text, " (%u %s a dialog, not timed)", time.dialogCalls,
                          time.dialogCalls == 1 ? "call showed" : "calls showed");
            verdict.figure += text;
        }
        if (time.worstMs > budgetMs) {
            std::snprintf(text, sizeof text, "%s%s took %.0f ms, over the %.0f ms budget of a call outside a dialog",
                          verdict.cause.empty() ? "" : "; ", time.function.c_str(), time.worstMs, budgetMs);
            verdict.cause += text;
            verdict.result = Result::kWarn;
        }
    }
    return verdict;
}

std::string_view ExceptionName(std::uint32_t code) noexcept {
    switch (code) {
        case 0xC0000005u: return "access violation";
        case 0xC00000FDu: return "stack overflow";
        case 0xC0000094u: return "integer division by zero";
        case 0xC000001Du: return "illegal instruction";
        case 0xC0000096u: return "privileged instruction";
        case 0x80000003u: return "breakpoint";
        case 0xC0000409u: return "stack buffer overrun";
        case 0xC0000374u: return "heap corruption";
        case 0xE06D7363u: return "C++ exception";
        default: return "";
    }
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

CheckReport ReadChild(Check check, const ChildEnd& end) {
    std::string lastStep, crash, hang;
    std::optional<CheckReport> reported;
    std::size_t start = 0;
    while (start < end.output.size()) {
        std::size_t stop = end.output.find('\n', start);
        if (stop == std::string::npos) stop = end.output.size();
        std::string_view line(end.output.data() + start, stop - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        start = stop + 1;
        std::vector<std::string_view> fields;
        for (std::size_t from = 0;;) {
            const std::size_t tab = line.find('\t', from);
            fields.push_back(line.substr(from, tab == std::string_view::npos ? std::string_view::npos : tab - from));
            if (tab == std::string_view::npos) break;
            from = tab + 1;
        }
        if (fields[0] == "step" && fields.size() >= 2) lastStep = fields[1];
        if (fields[0] == "crash" && fields.size() >= 2) crash = fields[1];
        if (fields[0] == "hang" && fields.size() >= 2) hang = fields[1];
        if (fields[0] == "result" && fields.size() >= 4) {
            if (const auto result = ResultFromName(fields[1])) {
                reported = CheckReport{check, *result, std::string(fields[2]), std::string(fields[3])};
            }
        }
    }
    if (!hang.empty()) return {check, Result::kFail, "hung", hang};
    if (!crash.empty()) return {check, Result::kFail, "crashed", crash};
    if (end.timedOut) {
        return {check, Result::kFail, "hung",
                "the check did not end within " + std::to_string(end.limitMs) + " ms" +
                    (lastStep.empty() ? std::string() : "; last step: " + lastStep)};
    }
    if (end.exitCode >= 0xC0000000u || (!reported && end.exitCode != 0)) {
        const std::string_view name = ExceptionName(end.exitCode);
        return {check, Result::kFail, "crashed",
                "crashed with exception " + Hex(end.exitCode) + (name.empty() ? "" : " (" + std::string(name) + ")") +
                    (lastStep.empty() ? std::string() : " in " + lastStep)};
    }
    if (!reported) {
        return {check, Result::kFail, "ended early",
                "the check's process ended without a result" +
                    (lastStep.empty() ? std::string() : "; last step: " + lastStep)};
    }
    return *reported;
}

}  // namespace qvcheck
