// DOROVIVI_TRACE over an NT drive, that drive in a disk image, and exports:
// the events come in the order things happen, with the facts each answer
// rests on, checked against the files themselves (sha256sum, a key time set
// in the hive).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "disk_image_writer.h"
#include "process_run.h"
#include "real_files.h"
#include "scenarios.h"
#include "trace_events.h"
#include "windows_drives.h"

namespace {

const char NtKey[] = R"("key":"HKLM\\System\\CurrentControlSet\\Services\\TESRO411\\Parameters",)";

TEST(Trace, EventsInOrderOverADriveAnImageAndExports)
{
    using namespace scenario;
    std::string top = MakeTempDir("dorovivi-trace");
    std::string drive = top + "/drive", software64 = top + "/xp64", dirty = top + "/dirty";
    mkdir(drive.c_str(), 0755);
    mkdir(dirty.c_str(), 0755);
    const DirtyHive newLogs = {HiveLogKind::NewDual};
    WriteNtDrive(dirty, "REGEDIT4\r\n" + VersionKeys(Family::WindowsNt) + CardNt(1, Adapter, "NtNet"), &newLogs);
    std::string dirtySystem = dirty + "/WINNT/System32/config/SYSTEM";
    mkdir(software64.c_str(), 0755);
    WriteNtDrive(drive, "REGEDIT4\r\n" + VersionKeys(Family::WindowsNt) + CardNt(1, Adapter, "NtNet"));
    WriteFile(software64 + "/HKLM.reg", "REGEDIT4\r\n" + VersionKeys(Family::WindowsNt, true) +
                                            Companion(nullptr, "Software\\Wow6432Node"));
    std::string system = drive + "/WINNT/System32/config/SYSTEM", software = drive + "/WINNT/System32/config/software";
    ASSERT_TRUE(SetKeyTime(system, {"ControlSet001", "Services", "TESRO411", "Parameters"}, 133536384001234567));
    std::vector<PlacedPartition> placed;
    std::string error, image = top + "/disk.raw";
    ASSERT_TRUE(WriteRawDisk({FsPartition(FileSystem::Ntfs, drive, true)}, Layout::Mbr, image, &placed, &error))
        << error;
    const std::string written = "2024-02-29T00:00:00.1234567Z";
    std::string exported = std::string(DOROVIVI_EXAMPLES) + "/nt";
    std::string ntOpen =
        Quote(R"({"event":"open",)" + std::string(NtKey) + R"("result":0,"last_write":")" + written + "\"}");
    std::string ntValue =
        Quote(R"({"event":"value",)" + std::string(NtKey) + R"("name":"DesiredSSID","type":1,"size":6,"result":0})");
    std::string version = Version(2, "5.1.2600", "5.1.2600");
    // A Windows a program without a manifest is told is Windows 8, whatever is installed from 8.1 on.
    const std::string ntVersionKey = Section("Software\\Microsoft\\Windows NT\\CurrentVersion");
    const std::string win10 = MakeExport(top, "win10", ntVersionKey + Text("CurrentVersion", "6.3") +
                                                           "\"CurrentMajorVersionNumber\"=dword:0000000a\r\n"
                                                           "\"CurrentMinorVersionNumber\"=dword:00000000\r\n" +
                                                           Text("CurrentBuildNumber", "19045"));
    const std::string win81 = MakeExport(top, "win81", ntVersionKey + Text("CurrentVersion", "6.3") +
                                                           Text("CurrentBuildNumber", "9600"));
    const std::string win7 = MakeExport(top, "win7", ntVersionKey + Text("CurrentVersion", "6.1") +
                                                         Text("CurrentBuildNumber", "7601") +
                                                         Text("CSDVersion", "Service Pack 1"));
    const std::string win98 = MakeExport(top, "win98", VersionKeys(Family::Windows98));
    const std::string empty = MakeExport(top, "empty", "");
    std::string unversioned = top + "/unversioned";
    mkdir(unversioned.c_str(), 0755);
    WriteNtDrive(unversioned, "REGEDIT4\r\n" + ntVersionKey + Text("ProductName", "Windows") + CardNt(1, Adapter, "NtNet"));
    // The drive's format tells the family; only the numbers are unknown.
    const std::string noVersion = Quote(R"({"event":"version","platform":2,"major":0,"minor":0,"build":0,)"
                                        R"("recorded":null,"unrecorded":"Windows NT\\CurrentVersion records no )"
                                        R"(CurrentVersion"})");
    // SOFTWARE missing or empty: SYSTEM answers, and the version event puts the missing numbers down to it.
    std::string alone = top + "/alone", emptied = top + "/emptied";
    for (const std::string &dir : {alone, emptied}) {
        mkdir(dir.c_str(), 0755);
        WriteNtDrive(dir, "REGEDIT4\r\n" + VersionKeys(Family::WindowsNt) + CardNt(1, Adapter, "NtNet"));
    }
    unlink((alone + "/WINNT/System32/config/software").c_str());
    WriteFile(emptied + "/WINNT/System32/config/software", "");
    // Every partition looked at is a volume event, with what was found there, an installation or none.
    std::string noWindows = top + "/nowin.raw", aloneImage = top + "/alone.raw", empty16 = top + "/empty16";
    mkdir(empty16.c_str(), 0755);
    std::vector<PlacedPartition> noWindowsAt, aloneAt;
    ASSERT_TRUE(WriteRawDisk({FsPartition(FileSystem::Fat16, empty16), OtherPartition(0x83, "x")},
                             Layout::Mbr, noWindows, &noWindowsAt, &error)) << error;
    ASSERT_TRUE(WriteRawDisk({FsPartition(FileSystem::Ntfs, alone, true)}, Layout::Mbr, aloneImage, &aloneAt, &error))
        << error;
    auto volume = [](int partition, const char *fs, std::uint64_t offset, const char *type, const char *found) {
        return Quote("{\"event\":\"volume\",\"partition\":" + std::to_string(partition) + ",\"fs\":" + fs + ",\"offset\":" +
                     std::to_string(offset) + ",\"type\":\"" + type + "\",\"installations\":[" + found + "]}");
    };
    auto unrecorded = [](const std::string &why) {
        return Quote(R"({"event":"version","platform":2,"major":0,"minor":0,"build":0,"recorded":null,)"
                     R"("unrecorded":")") + Literal(why) + Quote("\"}");
    };
    const std::string noRecord =
        Quote(R"({"event":"version","platform":null,"failed":"the registry records no Windows version"})");
    struct Case {
        const char *name;
        std::string root, command, output;
        std::vector<std::string> events;
        const char *line = nullptr; // what stderr says besides the trace
        int versions = 1;           // version events: one for each GetVersionExA
    };
    std::vector<Case> cases = {
        {"NT drive", drive, "H", "NtNet",
         {"\\{\"event\":\"root\",\"path\":\"" + Literal(drive) + "\",\"kind\":\"drive\",\"sandbox\":\\[(\"landlock\",)?\"seccomp\"\\]\\}",
          Quote(R"({"event":"installation","windir":"WINNT","chosen_by":"boot.ini"})"),
          RegistryEvent("SYSTEM", system, system), RegistryEvent("SOFTWARE", software, software), version, ntOpen,
          ntValue}},
        {"NT drive in an image", image, "H", "NtNet",
         {"\\{\"event\":\"root\",\"path\":\"" + Literal(image) + "\",\"kind\":\"image\",\"sandbox\":\\[(\"landlock\",)?\"seccomp\"\\]\\}",
          volume(1, "\"ntfs\"", placed[0].offset, "NTFS / exFAT (0x07)", R"("partition(1)\\WINNT")"),
          Quote(R"({"event":"installation","windir":"partition(1)\\WINNT","chosen_by":"boot.ini"})"),
          RegistryEvent("SYSTEM", image + ": partition(1)\\WINNT\\System32\\config\\SYSTEM", system),
          RegistryEvent("SOFTWARE", image + ": partition(1)\\WINNT\\System32\\config\\software", software), version,
          ntOpen, ntValue}},
        // The digest is the stored primary's; the list names the logs applied.
        {"dirty NT drive", dirty, "H", "NtNet",
         {Quote(R"({"event":"message","text":"dorovivi: )" + dirtySystem + R"(: dirty hive; replayed SYSTEM.LOG1, )"
                R"(SYSTEM.LOG2"})"),
          RegistryEvent("SYSTEM", dirtySystem, dirtySystem, R"("SYSTEM\.LOG1","SYSTEM\.LOG2")"), version},
         ": dirty hive; replayed SYSTEM.LOG1, SYSTEM.LOG2"},
        {"Windows 10", win10, "H", "XXXXXX", {Version(2, "6.2.9200", "10.0.19045")}},
        {"Windows 8.1", win81, "H", "XXXXXX", {Version(2, "6.2.9200", "6.3.9600")}},
        {"Windows 7", win7, "H", "XXXXXX", {Version(2, "6.1.7601", "6.1.7601")}},
        // 95/98/Me keep the major and minor version in the build number's high word.
        {"Windows 98", win98, "H", "XXXXXX", {Version(1, "4.10.67766446", "4.10.2222")}},
        {"NT drive without a version", unversioned, "H", "NtNet", {noVersion}},
        {"NT drive without SOFTWARE", alone, "H", "NtNet",
         {"\\{\"event\":\"registry\",\"name\":\"SOFTWARE\",\"file\":\"" +
              Literal(alone + "/WINNT/System32/config/SOFTWARE") + R"(","size":null,"sha256":null,"replayed":\[\]\})",
          unrecorded(alone + "/WINNT/System32/config/SOFTWARE: missing")},
         "/WINNT/System32/config/SOFTWARE: missing; read as an empty hive"},
        {"NT drive with an empty SOFTWARE", emptied, "H", "NtNet",
         {unrecorded(emptied + "/WINNT/System32/config/software: empty file")},
         ": empty file; read as an empty hive"},
        {"SYSTEM alone in an image", aloneImage, "H", "NtNet",
         {volume(1, "\"ntfs\"", aloneAt[0].offset, "NTFS / exFAT (0x07)", R"("partition(1)\\WINNT")"),
          unrecorded(aloneImage + ": partition(1)\\WINNT\\System32\\config\\SOFTWARE: missing")},
         ": partition(1)\\WINNT\\System32\\config\\SOFTWARE: missing; read as an empty hive"},
        {"an image without Windows", noWindows, "H", "XXXXXX",
         {volume(1, "\"fat16\"", noWindowsAt[0].offset, "DOS FAT16 (0x06)", ""),
          volume(2, "null", noWindowsAt[1].offset, "Linux (0x83)", "")},
         "; no Windows installation", 2},
        // No family is known, so the program asks again for the second card: one event a call.
        {"empty registry", empty, "H", "XXXXXX", {noRecord, noRecord}, nullptr, 2},
        {"empty registry, companion only", empty, "@", "", {}, nullptr, 0},
        {"export", exported, "H", "LabNet",
         {"\\{\"event\":\"root\",\"path\":\"" + Literal(exported) + "\",\"kind\":\"export\",\"sandbox\":\\[(\"landlock\",)?\"seccomp\"\\]\\}",
          RegistryEvent("HKLM.reg", exported + "/HKLM.reg", exported + "/HKLM.reg"), version,
          Quote(R"({"event":"open","key":"HKLM\\System\\CurrentControlSet\\Services\\TESRO411\\Parameters",)"
                R"("result":2})"),
          Quote(R"({"event":"open","key":"HKLM\\System\\CurrentControlSet\\Services\\TESRO412\\Parameters",)"
                R"("result":0})"),
          Quote(R"({"event":"value","key":"HKLM\\System\\CurrentControlSet\\Services\\TESRO412\\Parameters",)"
                R"("name":"DesiredSSID","type":1,"size":7,"result":0})")}},
        // WOW64 gives the path read; a missing value has no type or size.
        {"64-bit export", software64, "@", "",
         {Quote(R"({"event":"open","key":"HKLM\\Software\\KALVORA\\KALVORA PXM",)"
                R"("view":"HKLM\\Software\\Wow6432Node\\KALVORA\\KALVORA PXM","result":0})"),
          Quote(R"({"event":"value","key":"HKLM\\Software\\Wow6432Node\\KALVORA\\KALVORA PXM",)"
                R"("name":"version","result":2})"),
          "\\{\"event\":\"atom\",\"name\":\"PXM INSTALLED 0\",\"table\":\"" + Literal(top + "/atoms") +
              "\",\"result\":[1-9]\\d*\\}"},
         nullptr, 0},
    };
    std::string genuine = std::string(DOROVIVI_REAL) + "/genuine/xp_software.xz", xp64 = top + "/xp64drive";
    if (access(genuine.c_str(), R_OK) == 0) {
        mkdir(xp64.c_str(), 0755);
        WriteNtDrive(xp64, "REGEDIT4\r\n" + CardNt(1, Adapter, "NtNet"));
        std::string software = xp64 + "/WINNT/System32/config/software";
        ASSERT_EQ(std::system(("xz -dc '" + genuine + "' > '" + software + "'").c_str()), 0);
        cases.push_back({"genuine SOFTWARE of 64-bit XP", xp64, "H", "NtNet", {Version(2, "5.2.3790", "5.2.3790")}});
    } else {
        EXPECT_FALSE(UnderCi()) << genuine << " is missing";
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string trace = top + "/trace.jsonl", errors = top + "/stderr", before = Snapshot(drive);
        WriteFile(trace, ""); // appended to, never truncated
        ProcessResult run = RunProcess({DOROVIVI_BINARY, c.command},
                                       {"DOROVIVI_ROOT=" + c.root, "DOROVIVI_ATOMS=" + top + "/atoms",
                                        "DOROVIVI_TRACE=" + trace},
                                       errors, 60);
        EXPECT_EQ(run.output, c.output);
        std::string said = ReadFile(errors);
        if (c.line == nullptr)
            EXPECT_EQ(said, "");
        else
            EXPECT_NE(said.find(c.line), std::string::npos) << said;
        EXPECT_EQ(Snapshot(drive), before);
        std::string text = ReadFile(trace);
        ExpectInOrder(Lines(text), c.events, text);
        int versions = 0;
        for (const std::string &line : Lines(text))
            versions += line.compare(0, 19, "{\"event\":\"version\",") == 0;
        EXPECT_EQ(versions, c.versions) << text;
        // "-" gives the same lines on stderr, the messages among them as events.
        std::vector<std::string> env = {"DOROVIVI_ROOT=" + c.root, "DOROVIVI_ATOMS=" + top + "/atoms"};
        RunProcess({DOROVIVI_BINARY, c.command}, env, errors, 60);
        EXPECT_EQ(TracedStderrFault({DOROVIVI_BINARY, c.command}, env, ReadFile(errors)), "");
        env.push_back("DOROVIVI_TRACE=-");
        RunProcess({DOROVIVI_BINARY, c.command}, env, errors, 60);
        EXPECT_EQ(ReadFile(errors), text);
    }
    RemoveTree(top);
}

} // namespace
