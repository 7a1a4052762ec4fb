// qvcheck: runs a host plug-in through the contract's calls, each check in a child process of its own,
// and reports a table (and JSON for CI). Exit 0 when every check passed, 1 when one failed, 2 on a
// usage error or a plug-in that cannot be loaded.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "checks.h"
#include "child_checks.h"
#include "report.h"
#include "verdicts.h"
#include "win32_owner.h"

namespace qvcheck {
namespace {

std::string Quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// Runs one check in a child process of this program and reads what it printed. A child that prints
// nothing for the hang limit and half a minute more is stopped.
ChildEnd RunInChild(const Options& options, Check check) {
    ChildEnd end;
    char program[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string commandLine = Quoted(program);
    for (const std::string& argument : ChildArguments(options, check)) {
        commandLine += ' ';
        commandLine += Quoted(argument);
    }

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        end.output = std::string("crash\tcannot make a pipe for the check's process: error ") +
                     std::to_string(::GetLastError());
        return end;
    }
    qv::UniqueHandle reader(readEnd), writer(writeEnd);
    ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writer.get();
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process)) {
        end.output = std::string("crash\tcannot start the check's process: error ") + std::to_string(::GetLastError());
        return end;
    }
    qv::UniqueHandle child(process.hProcess), thread(process.hThread);
    writer.reset();
    end.limitMs = options.timeoutMs + 30000;
    DWORD lastOutput = ::GetTickCount();
    const auto drain = [&] {
        DWORD available = 0;
        while (::PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &available, nullptr) && available != 0) {
            char buffer[4096];
            DWORD read = 0;
            if (!::ReadFile(reader.get(), buffer, std::min<DWORD>(available, sizeof buffer), &read, nullptr) ||
                read == 0) {
                break;
            }
            end.output.append(buffer, read);
            lastOutput = ::GetTickCount();
        }
    };
    for (;;) {
        const bool exited = ::WaitForSingleObject(child.get(), 20) == WAIT_OBJECT_0;
        drain();
        if (exited) break;
        if (::GetTickCount() - lastOutput > end.limitMs) {
            ::TerminateProcess(child.get(), 0xDEAD);
            ::WaitForSingleObject(child.get(), 5000);
            end.timedOut = true;
            break;
        }
    }
    DWORD exitCode = 0;
    ::GetExitCodeProcess(child.get(), &exitCode);
    end.exitCode = exitCode;
    return end;
}

// The error a child that could not load the plug-in reported.
std::string CannotLoadError(const std::string& output) {
    const auto at = output.find("noload\t");
    if (at == std::string::npos) return {};
    const auto stop = output.find('\n', at);
    return output.substr(at + 7, stop == std::string::npos ? std::string::npos : stop - at - 7);
}

int Run(int argc, char** argv) {
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    ParsedOptions parsed = ParseOptions(arguments);
    if (!parsed.options) {
        std::fprintf(stderr, "qvcheck: %s\n%s", parsed.error.c_str(), kUsage);
        return 2;
    }
    Options& options = *parsed.options;
    if (options.child) return RunChild(options);
    if (::GetFileAttributesA(options.plugin.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "qvcheck: cannot find %s\n", options.plugin.c_str());
        return 2;
    }
    if (!options.seedGiven) options.seed = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
    std::printf("qvcheck %s: level %d, seed %u, %u cycles%s\n", options.plugin.c_str(), options.level, options.seed,
                options.cycles, options.commands ? ", with commands" : "");
    std::fflush(stdout);
    RunReport report{options.plugin, options.level, options.seed, options.cycles, {}};
    for (std::size_t i = 0; i < kCheckCount; ++i) {
        if (!options.selected[i]) continue;
        const auto check = static_cast<Check>(i);
        if (const auto reason = SkipReason(check, options)) {
            report.checks.push_back({check, Result::kSkip, "", *reason});
            continue;
        }
        const ChildEnd end = RunInChild(options, check);
        if (end.exitCode == kChildCannotLoad) {
            if (const std::string error = CannotLoadError(end.output); !error.empty()) {
                std::fprintf(stderr, "qvcheck: %s\n", error.c_str());
                return 2;
            }
        }
        report.checks.push_back(ReadChild(check, end));
    }
    std::fputs(FormatTable(report).c_str(), stdout);
    std::fflush(stdout);
    if (!options.jsonPath.empty()) {
        std::FILE* file = std::fopen(options.jsonPath.c_str(), "wb");
        const std::string json = FormatJson(report);
        if (file == nullptr || std::fwrite(json.data(), 1, json.size(), file) != json.size()) {
            std::fprintf(stderr, "qvcheck: cannot write %s\n", options.jsonPath.c_str());
            if (file != nullptr) std::fclose(file);
            return 2;
        }
        std::fclose(file);
    }
    return Passed(report) ? 0 : 1;
}

}  // namespace
}  // namespace qvcheck

int main(int argc, char** argv) {
    return qvcheck::Run(argc, argv);
}
