// The shipped binary over the earlier states of an installation, on a drive
// and on a disk image of it: every state answers for itself, never for the
// current registry.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "creg_writer.h"
#include "disk_image_writer.h"
#include "host_tool.h"
#include "image_run.h"
#include "registry_fixture.h"
#include "scenarios.h"
#include "trace_events.h"
#include "windows_drives.h"

namespace {

using namespace scenario;

const std::uint64_t Day = 864000000000ull; // 100 ns units
const std::uint64_t Jan2003 = 126858888000000000ull, Mar2004 = 127226088000000000ull;

void MakeDirs(const std::string &base, const std::string &path)
{
    for (std::size_t at = 0; at != std::string::npos;) {
        at = path.find('/', at + 1);
        mkdir((base + "/" + path.substr(0, at)).c_str(), 0755);
    }
}

// An NT hive pair answering `ssid` moved to `dir` as `system` and `software` ("" leaves it out), SYSTEM
// last written at `time`; with `dirty`, SYSTEM's keys only in the logs beside it.
void PlaceNtHives(const std::string &dir, const char *ssid, Release release, const std::string &to,
                  const std::string &system, const std::string &software, std::uint64_t time,
                  const DirtyHive *dirty = nullptr)
{
    std::string scratch = dir + "/scratch", config = scratch + "/WINNT/System32/config/";
    mkdir(scratch.c_str(), 0755);
    WriteNtDrive(scratch, "REGEDIT4\r\n" + VersionKeys(Family::WindowsNt) + CardNt(1, Adapter, ssid, release), dirty);
    MakeDirs(dir, to);
    for (const char *log : {".LOG1", ".LOG2"})
        rename((config + "SYSTEM" + log).c_str(), (dir + "/" + to + "/" + system + log).c_str());
    std::string hive = ReadFile(config + "SYSTEM");
    hive.replace(12, 8, LeBytes(time, 8));
    std::uint32_t sum = 0;
    for (int at = 0; at < 508; at += 4)
        sum ^= static_cast<std::uint32_t>(Le(hive, at, 4));
    hive.replace(508, 4, LeBytes(sum, 4));
    WriteFile(dir + "/" + to + "/" + system, hive);
    if (!software.empty())
        rename((config + "software").c_str(), (dir + "/" + to + "/" + software).c_str());
    RemoveTree(scratch);
}

// rp.log as XP writes it: event and point type, sequence, description, creation time last.
void PlaceRpLog(const std::string &point, const std::string &description, std::uint64_t created)
{
    std::string log = LeBytes(100, 4) + LeBytes(10, 4) + LeBytes(1, 8);
    for (char c : description)
        log += std::string(1, c) + '\0';
    log.resize(528, '\0');
    WriteFile(point + "/rp.log", log + LeBytes(created, 8));
}

std::string WriteXpDrive(const std::string &dir)
{
    std::string drive = dir + "/xp", store = "System Volume Information/_restore{4E1A2B3C-0000-1111-2222-333344445555}";
    mkdir(drive.c_str(), 0755);
    WriteNtDrive(drive, "REGEDIT4\r\n" + VersionKeys(Family::WindowsNt) + CardNt(1, Adapter, "CurrentNet"));
    PlaceNtHives(dir, "CurrentNet", Expected, "xp/WINNT/System32/config", "SYSTEM", "", Jan2003 + 900 * Day);
    const char *points[] = {"PointOne", "PointTwo", "PointThree"};
    for (int i = 0; i < 3; ++i) {
        std::string point = store + "/RP" + std::to_string(i + 1);
        PlaceNtHives(dir, points[i], i == 1 ? Expected : OlderMajor, "xp/" + point + "/snapshot",
                     "_REGISTRY_MACHINE_SYSTEM", i == 2 ? "" : "_REGISTRY_MACHINE_SOFTWARE", 0);
        PlaceRpLog(drive + "/" + point, std::string("Installed ") + points[i], Mar2004 + i * 92 * Day);
    }
    MakeDirs(drive, "System Volume Information/_restore{0}/RP7");
    MakeDirs(drive, store + "/RP7");
    PlaceNtHives(dir, "RepairNet", OlderMajor, "xp/WINNT/repair", "system", "software", Jan2003);
    const DirtyHive dirty = {HiveLogKind::NewDual};
    PlaceNtHives(dir, "SavedNet", Expected, "xp/WINNT/System32/config", "system.sav", "software.sav",
                 Jan2003 + 150 * Day, &dirty);
    PlaceNtHives(dir, "AltNet", OlderMajor, "xp/WINNT/System32/config", "system.alt", "", Jan2003 + 700 * Day);
    return drive;
}

// Five ScanReg cabinets written by gcab, each checked by cabextract, and Windows 95's SYSTEM.DA0.
std::string Write98DriveWithBackups(const std::string &dir)
{
    std::string drive = dir + "/w98", files = dir + "/cabfiles";
    mkdir(drive.c_str(), 0755);
    mkdir(files.c_str(), 0755);
    Write98Drive(drive, "REGEDIT4\r\n" + VersionKeys(Family::Windows98) + Card98(CardOne, "Net\\0000", Adapter, "HomeNet"));
    WriteFile(drive + "/WINDOWS/SYSTEM.DA0", WriteCregFile(FixtureFromRegText(
        "REGEDIT4\r\n" + Card98(CardOne, "Net\\0000", Adapter, "OldestNet", OlderMajor))));
    MakeDirs(drive, "WINDOWS/SYSBCKUP");
    for (int i = 0; i < 5; ++i) {
        std::string ssid = "ScanNet" + std::to_string(i);
        WriteFile(files + "/SYSTEM.DAT", WriteCregFile(FixtureFromRegText(
            "REGEDIT4\r\n" + Card98(CardOne, "Net\\0000", Adapter, ssid.c_str(), i % 2 ? Expected : OlderMajor))));
        WriteFile(files + "/USER.DAT", WriteCregFile({}, true));
        WriteFile(files + "/SYSTEM.INI", "[boot]\r\n");
        WriteFile(files + "/WIN.INI", "[windows]\r\n");
        std::string cab = drive + "/WINDOWS/SYSBCKUP/RB00" + std::to_string(i) + ".CAB";
        std::string when = "2001-0" + std::to_string(i + 1) + "-15 12:00";
        std::string error;
        EXPECT_TRUE(image_tools::RunTool({"touch", "-d", when, files + "/SYSTEM.DAT"}, "", dir + "/log", &error) &&
                    image_tools::RunTool({"gcab", "-c", "-z", "-n", cab, files + "/SYSTEM.DAT", files + "/USER.DAT",
                                          files + "/SYSTEM.INI", files + "/WIN.INI"}, "", dir + "/log", &error) &&
                    image_tools::RunTool({"cabextract", "-t", "-q", cab}, "", dir + "/log", &error)) << error;
    }
    RemoveTree(files);
    // A 95/98 registry records no time: its files' own say when each was kept (FAT's local time is UTC here).
    std::string error;
    EXPECT_TRUE(image_tools::RunTool({"touch", "-d", "2000-12-01 12:00 UTC", drive + "/WINDOWS/SYSTEM.DA0"}, "",
                                     dir + "/log", &error) &&
                image_tools::RunTool({"touch", "-d", "2001-06-01 12:00 UTC", drive + "/WINDOWS/SYSTEM.DAT"}, "",
                                     dir + "/log", &error)) << error;
    return drive;
}

struct Case {
    const char *drive; // "xp", "98"
    const char *state; // DOROVIVI_STATE
    const char *command;
    int exitCode;
    const char *output;
    const char *line; // in the one stderr line; nullptr: none
};

const Case Cases[] = {
    {"xp", "current", "H", 0, "CurrentNet", nullptr},
    {"xp", "rp:1", "H", 5, "PointOne", nullptr},
    {"xp", "RP:2", "H", 0, "PointTwo", nullptr},
    {"xp", "rp:3", "H", 5, "PointThree", "_REGISTRY_MACHINE_SOFTWARE: missing; read as an empty hive"},
    {"xp", "copy:repair", "H", 5, "RepairNet", nullptr},
    {"xp", "copy:system.sav", "H", 0, "SavedNet",
     "system.sav: dirty hive; replayed system.sav.LOG1, system.sav.LOG2"},
    {"xp", "copy:system.alt", "H", 5, "AltNet", "system.alt's SOFTWARE: missing; read as an empty hive"},
    {"xp", "at:2004-06-01", "H", 0, "PointTwo", nullptr},
    {"xp", "at:2004-05-31", "H", 5, "PointOne", nullptr},
    {"xp", "at:2003-01-01", "H", 5, "RepairNet", nullptr},
    {"xp", "at:2030-01-01", "H", 0, "CurrentNet", nullptr},
    {"xp", "at:2002-12-31", "H", 2, "XXXXXX", "DOROVIVI_STATE=at:2002-12-31: no state was taken by the end of that day"},
    {"xp", "rp:9", "H", 2, "XXXXXX", "DOROVIVI_STATE=rp:9: no state has that name (the states: "},
    {"xp", "rp:7", "@", 100, "", "DOROVIVI_STATE=rp:7: two states have that name"},
    {"xp", "list", "H", 0, "rp:7\t-\tnone\nrp:7\t-\tnone\ncopy:repair\t2003-01-01T10:00:00Z\thive\n"
     "copy:system.sav\t2003-05-31T10:00:00Z\thive\nrp:1\t2004-03-01T10:00:00Z\trp.log\n"
     "rp:2\t2004-06-01T10:00:00Z\trp.log\nrp:3\t2004-09-01T10:00:00Z\trp.log\n"
     "copy:system.alt\t2004-12-01T10:00:00Z\thive\ncurrent\t2005-06-19T10:00:00Z\thive\n", nullptr},
    {"98", "current", "H", 0, "HomeNet", nullptr},
    {"98", "copy:system.da0", "H", 5, "OldestNet", nullptr},
    {"98", "scanreg:RB000", "H", 5, "ScanNet0", nullptr},
    {"98", "scanreg:rb003", "H", 0, "ScanNet3", nullptr},
    {"98", "at:2001-03-15", "H", 5, "ScanNet2", nullptr},
    {"98", "at:2000-12-31", "H", 5, "OldestNet", nullptr}, // SYSTEM.DA0, by its file's time
    {"98", "scanreg:RB005", "H", 2, "XXXXXX", "scanreg:RB004"},
};

TEST(InstallationStates, EachStateAnswersOnADriveAndItsImage)
{
    setenv("TZ", "UTC", 1); // FAT keeps local time, and mtools writes it so
    std::string dir = MakeTempDir("dorovivi-states");
    std::string drives[2] = {WriteXpDrive(dir), Write98DriveWithBackups(dir)};
    std::string error;
    std::string images[2] = {
        WriteDiskImage({FsPartition(FileSystem::Ntfs, drives[0], true)}, Layout::Mbr, Container::Raw, dir, "xp", &error),
        WriteDiskImage({FsPartition(FileSystem::Fat32, drives[1], true)}, Layout::Mbr, Container::Raw, dir, "98",
                       &error)};
    ASSERT_NE(images[1], "") << error;
    for (const Case &c : Cases) {
        int which = std::string(c.drive) == "xp" ? 0 : 1;
        for (const std::string &root : {drives[which], images[which]}) {
            SCOPED_TRACE(root + " " + c.state);
            ImageRun run = RunOverImage(root, dir, {c.command}, {std::string("DOROVIVI_STATE=") + c.state});
            EXPECT_EQ(run.result.exitCode, c.exitCode);
            EXPECT_EQ(run.result.output, c.output);
            if (c.line == nullptr) {
                EXPECT_EQ(run.errors, "");
            } else {
                EXPECT_NE(run.errors.find(c.line), std::string::npos) << run.errors;
                EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors;
            }
        }
    }
    // The state event names the restore point's files with the digests sha256sum gives them.
    std::string point = drives[0] + "/System Volume Information/_restore{4E1A2B3C-0000-1111-2222-333344445555}/RP1";
    std::string file = R"(","file":"[^"]*_REGISTRY_MACHINE_)", traces = MakeTempDir("dorovivi-states-trace");
    for (const std::string &root : {drives[0], images[0]}) {
        std::string trace = traces + "/" + std::to_string(root.size());
        RunOverImage(root, dir, {"H"}, {"DOROVIVI_STATE=rp:1", "DOROVIVI_TRACE=" + trace});
        ExpectInOrder(Lines(ReadFile(trace)),
                      {Quote(R"({"event":"state","name":"rp:1","time":"2004-03-01T10:00:00Z","time_from":"rp.log",)"
                             R"("files":[{"name":"SYSTEM)") + file + "SYSTEM" +
                       Quote(R"(","sha256":")" + Sha256Sum(point + "/snapshot/_REGISTRY_MACHINE_SYSTEM") +
                             R"("},{"name":"SOFTWARE)") + file + "SOFTWARE" +
                       Quote(R"(","sha256":")" + Sha256Sum(point + "/snapshot/_REGISTRY_MACHINE_SOFTWARE") +
                             R"("}],"description":"Installed PointOne","type":10})")},
                      ReadFile(trace));
    }
    RemoveTree(traces);
    // The inventory's line per state, oldest first, as each state answers above.
    ProcessResult table = RunProcess({DOROVIVI_INVENTORY_BINARY, "--states", images[1]}, {"PATH=/usr/bin:/bin"});
    EXPECT_EQ(table.output, images[1] + "\tcopy:system.da0\t2000-12-01T12:00:00Z\t5\tOldestNet\t100\n" + images[1] +
                                "\tscanreg:RB000\t2001-01-15T12:00:00Z\t5\tScanNet0\t100\n" + images[1] +
                                "\tscanreg:RB001\t2001-02-15T12:00:00Z\t0\tScanNet1\t100\n" + images[1] +
                                "\tscanreg:RB002\t2001-03-15T12:00:00Z\t5\tScanNet2\t100\n" + images[1] +
                                "\tscanreg:RB003\t2001-04-15T12:00:00Z\t0\tScanNet3\t100\n" + images[1] +
                                "\tscanreg:RB004\t2001-05-15T12:00:00Z\t5\tScanNet4\t100\n" + images[1] +
                                "\tcurrent\t2001-06-01T12:00:00Z\t0\tHomeNet\t100\n");
    RemoveTree(dir);
}

} // namespace
