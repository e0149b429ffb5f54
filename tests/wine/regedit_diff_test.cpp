// Differential test of the .reg import: generated files are imported by
// Wine's regedit and read back under Wine by reg_dump.exe, and every key and
// value is compared with what the emulation's RegOpenKeyExA and
// RegQueryValueExA give for the same file: existence, type, size and bytes.
//
// The one deliberate difference: text from a UTF-16 file comes out of the
// emulation in UTF-8, and out of Wine's A functions in the ANSI code page.
// For UTF-16 files, string data and names are therefore compared as UTF-16
// (the emulation's UTF-8 converted, against Wine's W functions).
//
// DOROVIVI_DIFF_FILES (default 400) sets the number of files and
// DOROVIVI_DIFF_SEED the seed, for longer fuzzing runs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "process_run.h"
#include "regedit_diff.h"

namespace {

int Setting(const char *name, int fallback)
{
    const char *text = std::getenv(name);
    return text != nullptr && text[0] != '\0' ? std::atoi(text) : fallback;
}

TEST(RegeditDiff, EveryGeneratedFileImportsAsWineRegeditImportsIt)
{
    const char *win32 = std::getenv("DOROVIVI_WIN32_DIR");
    if (win32 == nullptr || win32[0] == '\0')
        GTEST_SKIP() << "DOROVIVI_WIN32_DIR not set: no Windows build to run";
    const int count = Setting("DOROVIVI_DIFF_FILES", 400);
    const auto seed = static_cast<std::uint32_t>(Setting("DOROVIVI_DIFF_SEED", 12));

    std::string dir = MakeTempDir("dorovivi-regdiff");
    std::vector<std::string> env = {"WINEPREFIX=" + dir + "/prefix", "WINEARCH=win32", "WINEDEBUG=-all",
                                    "WINEDLLOVERRIDES=mscoree,mshtml="};
    ASSERT_EQ(RunProcess({"/usr/bin/env", "wineboot", "-i"}, env, dir + "/wineboot.log").exitCode, 0);
    RunProcess({"/usr/bin/env", "wineserver", "-p"}, env);

    std::vector<Generated> files;
    std::vector<std::string> batch;
    for (int i = 0; i < count; ++i) {
        files.push_back(GenerateRegFile(seed, i, i % 3 == 2));
        const Generated &file = files.back();
        std::string bytes = file.utf16 ? "\xFF\xFE" + BytesOf(Utf16Of(file.text)) : file.text;
        std::string root = dir + "/f" + std::to_string(i);
        RunProcess({"/bin/mkdir", "-p", root}, {});
        WriteFile(root + "/HKLM.reg", bytes);
        batch.push_back(root + "/HKLM.reg");
        // One regedit for many files keeps the run short.
        if (batch.size() == 100 || i + 1 == count) {
            std::vector<std::string> argv = {"/usr/bin/env", "wine", "regedit", "/S"};
            argv.insert(argv.end(), batch.begin(), batch.end());
            ASSERT_EQ(RunProcess(argv, env, dir + "/regedit.log").exitCode, 0);
            batch.clear();
        }
    }
    ProcessResult dump = RunProcess({"/usr/bin/env", "wine", std::string(win32) + "/reg_dump.exe", Base}, env);
    RunProcess({"/usr/bin/env", "wineserver", "-k"}, env);
    ASSERT_EQ(dump.exitCode, 0);
    std::map<std::string, Registry> wine = ParseDump(dump.output, files);

    int divergent = 0, values = 0;
    for (int i = 0; i < count; ++i) {
        std::string root = Lower(std::string(Base) + "\\F" + std::to_string(i));
        std::string fileDir = dir + "/f" + std::to_string(i);
        const Registry &theirs = wine[root];
        for (const auto &k : theirs)
            values += static_cast<int>(k.second.size());
        std::vector<std::string> found = Differences(NativeAnswers(fileDir, files[i], theirs), theirs);
        if (found.empty())
            continue;
        ++divergent;
        std::string report;
        for (const std::string &line : found)
            report += "\n  " + line;
        ADD_FAILURE() << fileDir << "/HKLM.reg (" << (files[i].utf16 ? "UTF-16" : "8-bit") << "):" << report;
    }
    std::printf("%d files (seed %u), %d values under Wine, %d files divergent; files in %s\n", count, seed, values,
                divergent, dir.c_str());
    EXPECT_EQ(divergent, 0);
    if (divergent == 0)
        RunProcess({"/bin/rm", "-rf", dir}, {});
}

} // namespace
