// Where the shipped binary keeps the atom table over a Windows drive.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "creg_writer.h"
#include "process_run.h"
#include "scenarios.h"

namespace {

// Where "@" keeps the atom table when the root is a Windows drive, which is
// never written: DOROVIVI_ATOMS, else per user outside the drive.
TEST(AtomLocation, WindowsDrivesKeepTheTableOutside)
{
    using namespace scenario;
    struct Case {
        const char *what;
        bool xdg, named, foreignTmpDir;
        const char *table; // relative to the scratch directory; nullptr: no table written
    };
    const Case cases[] = {
        {"DOROVIVI_ATOMS names it", true, true, false, "named/atoms"},
        {"XDG_RUNTIME_DIR", true, false, false, "runtime/dorovivi/atoms"},
        {"private directory in TMPDIR", false, false, false, "tmp/dorovivi-UID/atoms"},
        {"a directory of another user is refused", false, false, true, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string scratch = MakeTempDir("dorovivi-atomdir");
        std::string drive = scratch + "/drive";
        for (const std::string &dir : {drive, drive + "/WINDOWS", scratch + "/runtime", scratch + "/named", scratch + "/tmp"})
            mkdir(dir.c_str(), 0755);
        WriteFile(drive + "/WINDOWS/SYSTEM.DAT",
                  WriteCregFile({{"Software\\KALVORA\\KALVORA PXM", {{"version", REG_SZ, std::string("1\0", 2)}}}}));
        if (c.foreignTmpDir) {
            mkdir((scratch + "/tmp/dorovivi-" + std::to_string(getuid())).c_str(), 0700);
            ASSERT_EQ(chown((scratch + "/tmp/dorovivi-" + std::to_string(getuid())).c_str(), getuid() + 1, getgid()), 0);
        }
        std::vector<std::string> env = {"DOROVIVI_ROOT=" + drive, "TMPDIR=" + scratch + "/tmp",
                                        std::string("XDG_RUNTIME_DIR=") + (c.xdg ? scratch + "/runtime" : "")};
        if (c.named)
            env.push_back("DOROVIVI_ATOMS=" + scratch + "/named/atoms");
        std::string errors = scratch + "/stderr";
        EXPECT_EQ(RunProcess({DOROVIVI_BINARY, "@"}, env, errors).exitCode, 101);
        if (c.table != nullptr) {
            std::string table = c.table;
            if (table.find("UID") != std::string::npos)
                table.replace(table.find("UID"), 3, std::to_string(getuid()));
            EXPECT_EQ(ReadFile(scratch + "/" + table), std::string("1 ") + Installed + "\n");
            EXPECT_EQ(ReadFile(errors), "");
        } else {
            EXPECT_NE(ReadFile(errors).find("not a private directory"), std::string::npos);
            EXPECT_EQ(TracedStderrFault({DOROVIVI_BINARY, "@"}, env, ReadFile(errors)), "");
        }
        struct stat info;
        EXPECT_NE(stat((drive + "/atoms").c_str(), &info), 0) << "nothing is written on the drive";
        EXPECT_NE(stat((drive + "/atoms.lock").c_str(), &info), 0);
    }
}

} // namespace
