// Under Wine: starts itself once per command line of the table, with exactly
// that command line, and compares what msvcrt made of it with
// SplitCommandLine. Prints each difference; exits with their number.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command_line_cases.h"
#include "platform/windows/command_line.h"

namespace {

const char ReportVariable[] = "CRT_SPLIT_REPORT";

std::string Describe(int argc, char *const argv[])
{
    std::string text = std::to_string(argc);
    for (int i = 0; i < argc; ++i)
        text += std::string(" [") + argv[i] + "]";
    return text;
}

std::string CrtSplitOf(const char *self, const char *reportPath, const char *line)
{
    std::string commandLine = line;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return "CreateProcessA failed";
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::string report;
    if (FILE *file = std::fopen(reportPath, "rb")) {
        char chunk[512];
        for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
            report.append(chunk, got);
        std::fclose(file);
    }
    return report;
}

} // namespace

int main(int argc, char *argv[])
{
    const char *reportPath = std::getenv(ReportVariable);
    if (reportPath != nullptr) {
        FILE *file = std::fopen(reportPath, "wb");
        if (file == nullptr)
            return 1;
        std::fputs(Describe(argc, argv).c_str(), file);
        std::fclose(file);
        return 0;
    }

    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    const char *report = "crt_split_report.txt";
    SetEnvironmentVariableA(ReportVariable, report);
    int differences = 0;
    for (const CommandLineCase &c : CommandLineCases) {
        char text[256];
        char *split[16];
        int count = SplitCommandLine(c.line, text, sizeof text, split, 16);
        std::string ours = Describe(count, split);
        std::string crt = CrtSplitOf(self, report, c.line);
        if (crt == ours)
            continue;
        std::printf("%s: msvcrt %s, ours %s%s\n", c.line, crt.c_str(), ours.c_str(),
                    c.wineDiffers ? " (Wine's msvcrt differs from Windows' here)" : "");
        differences += c.wineDiffers ? 0 : 1;
    }
    return differences;
}
