// The shipped binary over dirty hives whose logs are damaged or stale, on a
// drive and in an image.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "disk_image_writer.h"
#include "image_run.h"
#include "process_run.h"
#include "scenarios.h"
#include "windows_drives.h"

namespace {

// An NT drive, or that drive in an NTFS image, whose SYSTEM hive is dirty
// and its logs damaged or stale: what can be replayed is, the rest answers
// from the primary as it stands (which lacks the adapter), and one line
// says which.
TEST(DirtyInstallation, DamagedLogsAnswerFromWhatTheyHold)
{
    using K = HiveLogKind;
    using D = HiveLogDamage;
    struct Case {
        const char *what;
        DirtyHive dirty;
        bool inImage;
        bool replayed; // the adapter is there
        const char *line; // after "<SYSTEM>: "; nullptr: no line
        std::uint64_t log1Size = 0; // SYSTEM.LOG1 grown to this (sparse), 0: as written
    };
    const Case cases[] = {
        {"first entry not signed", {K::NewDual, D::BadSignature}, false, false,
         "dirty hive, not replayed (the first log entry of SYSTEM.LOG1 is not signed HvLE); read as it stands"},
        {"an entry's hash wrong: replayed up to it", {K::NewDual, D::BadHash}, true, false,
         "dirty hive; replayed SYSTEM.LOG1 (stopped short: log entry 8 in SYSTEM.LOG1 fails its hash)"},
        {"the old log's base block fails its checksum", {K::OldSingle, D::BadLogChecksum}, false, false,
         "dirty hive, not replayed (no valid log (SYSTEM.LOG: base block fails its checksum)); read as it stands"},
        {"the current log's dirty vector unsigned", {K::OldDual, D::BadDirtyVector}, true, false,
         "dirty hive, not replayed (SYSTEM.LOG2: dirty vector not signed DIRT); read as it stands"},
        {"the primary's base block broken: the log's stands in", {K::OldSingle, D::BrokenPrimary}, false, true,
         "dirty hive; replayed SYSTEM.LOG"},
        {"a clean primary beside newer logs", {K::NewDual, D::None, true}, false, false, nullptr},
        {"a clean primary beside an old log", {K::OldSingle, D::None, true}, true, false, nullptr},
        {"a log over 64 MiB is not read", {K::OldDual}, false, true,
         "dirty hive; replayed SYSTEM.LOG2 (SYSTEM.LOG1 not read: larger than 64 MiB)", 65ull << 20},
        {"a log over 64 MiB in an image", {K::OldDual}, true, true,
         "dirty hive; replayed SYSTEM.LOG2 (SYSTEM.LOG1 not read: larger than 64 MiB)", 65ull << 20},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string dir = MakeTempDir("dorovivi-dirty");
        std::string tree = dir + "/tree";
        mkdir(tree.c_str(), 0755);
        WriteNtDrive(tree, "REGEDIT4\r\n" + VersionKeys(Family::WindowsNt) +
                               scenario::CardNt(1, scenario::Adapter, NtAnswer), &c.dirty);
        std::string config = tree + "/WINNT/System32/config/SYSTEM";
        if (c.log1Size != 0) {
            ASSERT_EQ(truncate((config + ".LOG1").c_str(), static_cast<off_t>(c.log1Size)), 0);
        }
        std::string root = tree, shown = config;
        if (c.inImage) {
            std::string error;
            root = WriteDiskImage({FsPartition(FileSystem::Ntfs, tree, true)}, Layout::Mbr, Container::Raw, dir, "disk",
                                  &error);
            ASSERT_NE(root, "") << error;
            shown = root + ": partition(1)\\WINNT\\System32\\config\\SYSTEM";
        }
        ImageRun run = RunOverImage(root, dir, {"H"});
        EXPECT_EQ(run.result.exitCode, c.replayed ? 0 : 2);
        EXPECT_EQ(run.result.output, c.replayed ? NtAnswer : "XXXXXX");
        EXPECT_EQ(run.errors, c.line == nullptr ? "" : "dorovivi: " + shown + ": " + c.line + "\n");
        RemoveTree(dir);
    }
}

} // namespace
