// DOROVIVI_TRACE naming a file inside the evidence.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "chain_writer.h"
#include "disk_image_writer.h"
#include "process_run.h"
#include "real_files.h"
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

// A trace named as a file the run reads as evidence, by another name: a
// link, or a second path to the same file as a bind mount gives. Raw disk
// bytes may begin with the '{' a trace begins with, and a log may be empty,
// so that only the file's identity tells; a file that holds anything else
// is refused by its first byte. The answer stays; no byte is written.
TEST(Trace, NeverWrittenWhereItIsEvidenceUnderAnotherName)
{
    using namespace scenario;
    std::string top = MakeTempDir("dorovivi-trace-evidence"), drive = top + "/drive", other = top + "/other";
    for (const char *dir : {"/drive", "/other", "/chain", "/split"})
        mkdir((top + dir).c_str(), 0755);
    WriteNtDrive(drive, "REGEDIT4\r\n" + VersionKeys(Family::WindowsNt) + CardNt(1, Adapter, "NtNet"));
    std::string config = drive + "/WINNT/System32/config", log = config + "/SYSTEM.LOG1", error;
    WriteFile(log, ""); // a clean hive's log is often empty
    std::string raw = top + "/disk.raw", base = top + "/chain/base.raw", real = DOROVIVI_REAL "/images";
    std::vector<PlacedPartition> placed;
    ASSERT_TRUE(WriteRawDisk({FsPartition(FileSystem::Fat32, drive, true)}, Layout::Mbr, raw, &placed, &error)) << error;
    std::string child = WriteChain(ChainKind::Qcow2OverRaw, {raw, raw}, top + "/chain", &error);
    std::string split = WriteContainer(raw, Container::SplitRaw, top + "/split", "disk", &error);
    std::string flat = WriteContainer(raw, Container::VmdkFlat, top + "/split", "flat", &error);
    std::string extent = top + "/split/flat-flat.vmdk", old = top + "/old", exported = top + "/export/HKLM.reg";
    ASSERT_NE(child, "") << error;
    ASSERT_NE(split, "") << error;
    ASSERT_NE(flat, "") << error;
    mkdir(old.c_str(), 0755);
    mkdir((top + "/export").c_str(), 0755);
    Write98Drive(old, "REGEDIT4\r\n" + VersionKeys(Family::Windows98) + Card98(CardOne, "Net\\0000", Adapter, "OldNet"));
    WriteFile(exported, "REGEDIT4\r\n" + VersionKeys(Family::WindowsNt) + CardNt(1, Adapter, "RegNet"));
    for (const std::string &bytes : {base, top + "/split/disk.003", extent}) {
        std::string held = ReadFile(bytes);
        held[0] = '{'; // boot code, or free space: any byte
        WriteFile(bytes, held);
    }
    struct Case {
        std::string root, evidence;
        bool hard;        // a second path to the file; else a symbolic link
        std::string line; // after "DOROVIVI_TRACE=<the link> "
        const char *answer;
    };
    const std::string unlike = "holds something other than a trace (it does not begin with '{')";
    std::vector<Case> cases = {
        {drive, log, true, "is the evidence file " + log, "NtNet"},
        {drive, log, false, "lies inside the system root " + drive, "NtNet"}, // told by its path
        {drive, config + "/software", true, unlike, "NtNet"},
        {child, base, true, "is the evidence file " + base, "NtNet"},
        {child, base, false, "is the evidence file " + base, "NtNet"},
        {split, top + "/split/disk.003", true, "is the evidence file " + top + "/split/disk.003", "NtNet"},
        {flat, extent, true, "is the evidence file " + extent, "NtNet"},
        {old, old + "/WINDOWS/SYSTEM.DAT", true, unlike, "OldNet"},
        {top + "/export", exported, true, unlike, "RegNet"},
    };
    if (RealFilesHere(real.c_str())) { // the parent of a chain a user tried
        const std::string unpack = "xz -dc '" + real + "/image.vhd.xz' > " + top + "/image.vhd && xz -dc '" + real +
                                   "/image-differential.vhd.xz' > " + top + "/image-differential.vhd";
        ASSERT_EQ(std::system(unpack.c_str()), 0);
        cases.push_back({top + "/image-differential.vhd", top + "/image.vhd", true, unlike, "XXXXXX"});
    } else {
        EXPECT_FALSE(UnderCi()) << real << " is missing";
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        std::string trace = other + "/trace" + std::to_string(i) + ".jsonl", errors = top + "/stderr";
        SCOPED_TRACE(trace + " -> " + c.evidence);
        ASSERT_EQ(c.hard ? link(c.evidence.c_str(), trace.c_str()) : symlink(c.evidence.c_str(), trace.c_str()), 0);
        std::string before = Snapshot(top + "/drive") + Snapshot(top + "/chain") + Snapshot(top + "/split") +
                             ReadFile(c.evidence);
        ProcessResult run = RunProcess({DOROVIVI_BINARY, "H"}, {"DOROVIVI_ROOT=" + c.root, "DOROVIVI_TRACE=" + trace},
                                       errors, 60);
        EXPECT_EQ(run.output, c.answer);
        std::string said = ReadFile(errors), line = "dorovivi: DOROVIVI_TRACE=" + trace + " " + c.line +
                                                    ", which is never written; tracing nothing\n";
        EXPECT_NE(said.find(line), std::string::npos) << said;
        EXPECT_EQ(said.find(line), said.rfind(line)) << "said once";
        EXPECT_TRUE(Snapshot(top + "/drive") + Snapshot(top + "/chain") + Snapshot(top + "/split") +
                        ReadFile(c.evidence) == before);
    }
    RemoveTree(top);
}

} // namespace
