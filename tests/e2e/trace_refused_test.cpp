// DOROVIVI_TRACE naming a file inside the evidence.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "disk_image_writer.h"
#include "process_run.h"
#include "scenarios.h"
#include "windows_drives.h"

namespace {

// A trace that would write into the evidence is refused with one line, the
// answer stays what it is untraced, and nothing is written there.
TEST(Trace, RefusedInsideTheRootOrOnTheImage)
{
    using namespace scenario;
    std::string top = MakeTempDir("dorovivi-trace-refused");
    std::string drive = top + "/drive", image = top + "/disk.001";
    mkdir(drive.c_str(), 0755);
    WriteNtDrive(drive, "REGEDIT4\r\n" + VersionKeys(Family::WindowsNt) + CardNt(1, Adapter, "NtNet"));
    std::string error;
    std::vector<PlacedPartition> placed;
    ASSERT_TRUE(WriteRawDisk({FsPartition(FileSystem::Fat32, drive, true)}, Layout::Bare, image, &placed, &error))
        << error;
    struct Case {
        std::string root, trace;
        const char *reason;
    };
    const Case cases[] = {
        {drive, drive + "/WINNT/trace.jsonl", "lies inside the system root "},
        {drive, drive + "/trace.jsonl", "lies inside the system root "},
        {image, image, "is the system root "},
        {image, top + "/disk.002", "is a segment of the system root's image "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.trace);
        std::string errors = top + "/stderr", before = Snapshot(drive) + ReadFile(image);
        ProcessResult run = RunProcess({DOROVIVI_BINARY, "H"}, {"DOROVIVI_ROOT=" + c.root, "DOROVIVI_TRACE=" + c.trace},
                                       errors, 60);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.output, "NtNet");
        EXPECT_EQ(ReadFile(errors), "dorovivi: DOROVIVI_TRACE=" + c.trace + " " + c.reason + c.root +
                                        ", which is never written; tracing nothing\n");
        EXPECT_EQ(Snapshot(drive) + ReadFile(image), before);
        if (c.trace != image) {
            EXPECT_EQ(access(c.trace.c_str(), F_OK), -1) << "no trace file made";
        }
    }
    RemoveTree(top);
}

} // namespace
