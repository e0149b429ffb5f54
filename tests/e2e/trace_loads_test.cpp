// What the loader loads over NT drives, from its own trace (LD_DEBUG).
#include <gtest/gtest.h>

#include <string>

#include "process_run.h"
#include "scenarios.h"
#include "windows_drives.h"

// NT hives are read by the program itself: a clean and a dirty drive load
// no hive library, only what every run loads.
TEST(Trace, NtDrivesLoadNoHiveLibrary)
{
    using namespace scenario;
    const DirtyHive newLogs = {HiveLogKind::NewDual};
    std::string clean = MakeTempDir("dorovivi-loads"), dirty = MakeTempDir("dorovivi-loads-dirty");
    WriteNtDrive(clean, "REGEDIT4\r\n" + VersionKeys(Family::WindowsNt) + CardNt(1, Adapter, "NtNet"));
    WriteNtDrive(dirty, "REGEDIT4\r\n" + VersionKeys(Family::WindowsNt) + CardNt(1, Adapter, "NtNet"), &newLogs);
    for (const std::string &drive : {clean, dirty}) {
        std::string errors = MakeTempDir("dorovivi-loads-run") + "/stderr";
        ProcessResult result = RunProcess({DOROVIVI_BINARY, "H"}, {"DOROVIVI_ROOT=" + drive, "LD_DEBUG=libs"}, errors);
        EXPECT_EQ(result.output, "NtNet");
        std::string loads = ReadFile(errors);
        EXPECT_NE(loads.find("libc.so.6"), std::string::npos) << "the loader's trace is not there to read";
        EXPECT_EQ(loads.find("hivex"), std::string::npos) << loads;
        EXPECT_EQ(loads.find("libregf"), std::string::npos) << loads;
    }
}
