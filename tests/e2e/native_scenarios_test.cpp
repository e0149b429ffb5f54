#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include <string>
#include <vector>

#include "creg_writer.h"
#include "process_run.h"
#include "regf_writer.h"
#include "scenarios.h"

namespace {

// What a real installation of each family records about itself: XP, or
// XP x64 with the 64-bit view's mark.
std::string VersionKeys(Family family, bool wow64)
{
    switch (family) {
    case Family::Windows98:
        return scenario::Section("Software\\Microsoft\\Windows\\CurrentVersion") +
               scenario::Text("VersionNumber", "4.10.2222");
    case Family::WindowsNt:
    case Family::WindowsNt32:
    case Family::WindowsNt64:
        return scenario::Section("Software\\Microsoft\\Windows NT\\CurrentVersion") +
               scenario::Text("CurrentVersion", wow64 ? "5.2" : "5.1") +
               scenario::Text("CurrentBuildNumber", wow64 ? "3790" : "2600") +
               (wow64 ? scenario::Wow64Environment() : "");
    default:
        return "";
    }
}

// The keys as a 32-bit installer leaves them on 64-bit Windows: below
// Software\Wow6432Node (none of the scenarios' keys is one WOW64 shares).
std::string In32BitView(const std::string &registry)
{
    const std::string software = "[HKEY_LOCAL_MACHINE\\Software\\";
    std::string moved = registry;
    for (std::size_t at = moved.find(software); at != std::string::npos; at = moved.find(software, at + 1))
        moved.insert(at + software.size(), "Wow6432Node\\");
    return moved;
}

// Each system is run as an emulation root's HKLM.reg and as the drive of
// an installation of its family, NT as 32-bit and as 64-bit Windows; the
// answers must not differ.
enum class Form { RegFile, Drive98, DriveNt, RegFile64, DriveNt64 };

struct FormedScenario {
    Scenario scenario;
    Form form;
};

void PrintTo(const FormedScenario &s, std::ostream *os)
{
    *os << s.scenario.name;
}

std::string FormedName(const testing::TestParamInfo<FormedScenario> &info)
{
    const char *suffix[] = {"reg", "98drive", "ntdrive", "reg64", "ntdrive64"};
    return ScenarioName({info.param.scenario, info.index}) + "_" + suffix[static_cast<int>(info.param.form)];
}

std::vector<FormedScenario> AllFormedScenarios()
{
    std::vector<FormedScenario> all;
    for (const Scenario &s : AllScenarios()) {
        if (RunsAs32Bit(s.family)) {
            all.push_back({s, Form::RegFile});
            if (s.family != Family::Unknown)
                all.push_back({s, s.family == Family::Windows98 ? Form::Drive98 : Form::DriveNt});
        }
        if (RunsAs64Bit(s.family)) {
            all.push_back({s, Form::RegFile64});
            all.push_back({s, Form::DriveNt64});
        }
    }
    return all;
}

// A path below HKLM as it lies in the NT hive pair: which hive, and where.
bool PlaceInNtHive(const std::string &path, bool &inSystem, std::string &inHive)
{
    const std::string system = "System\\", set = "System\\CurrentControlSet", software = "Software\\";
    if (path.compare(0, set.size(), set) == 0 && (path.size() == set.size() || path[set.size()] == '\\')) {
        inSystem = true;
        inHive = "ControlSet001" + path.substr(set.size());
        return true;
    }
    inSystem = path.compare(0, system.size(), system) == 0;
    if (!inSystem && path.compare(0, software.size(), software) != 0)
        return false; // keys an NT system does not have offline
    inHive = path.substr(inSystem ? system.size() : software.size());
    return true;
}

// An NT 2000 drive: the hives under WINNT (names in the cases a copy may
// give them), boot.ini naming it, and a directory without a registry beside it.
void WriteNtDrive(const std::string &drive, const std::string &regText)
{
    RegistryFixture system = {{"Select", {{"Current", REG_DWORD, std::string("\1\0\0\0", 4)}}}, {"ControlSet001", {}}};
    RegistryFixture software;
    for (const FixtureKey &key : FixtureFromRegText(regText)) {
        bool inSystem = false;
        std::string inHive;
        if (PlaceInNtHive(key.path, inSystem, inHive))
            (inSystem ? system : software).push_back({inHive, key.values});
    }
    for (const char *dir : {"/Program Files", "/WINNT", "/WINNT/System32", "/WINNT/System32/config"})
        mkdir((drive + dir).c_str(), 0755);
    ASSERT_TRUE(WriteRegfHive(system, drive + "/WINNT/System32/config/SYSTEM"));
    ASSERT_TRUE(WriteRegfHive(software, drive + "/WINNT/System32/config/software"));
    WriteFile(drive + "/BOOT.INI", "[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINNT\r\n"
                                   "[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINNT="
                                   "\"Microsoft Windows 2000 Professional\" /fastdetect\r\n");
}

// A Windows 98 drive: SYSTEM.DAT in WINDOWS, MSDOS.SYS naming it (CR LF
// and the padding lines it carries), and an older copy elsewhere.
void Write98Drive(const std::string &drive, const std::string &regText)
{
    std::string systemDat = WriteCregFile(FixtureFromRegText(regText));
    for (const char *dir : {"/WINDOWS", "/WINDOWS.OLD"})
        mkdir((drive + dir).c_str(), 0755);
    WriteFile(drive + "/WINDOWS/SYSTEM.DAT", systemDat);
    WriteFile(drive + "/WINDOWS.OLD/system.dat", WriteCregFile({}));
    WriteFile(drive + "/MSDOS.SYS", "[Paths]\r\nWinDir=C:\\WINDOWS\r\nWinBootDir=C:\\WINDOWS\r\nHostWinBootDrv=C\r\n\r\n"
                                    "[Options]\r\nBootGUI=1\r\n;" + std::string(70, 'x') + "\r\n");
}

// Every file below `dir` with its size, time and bytes, to show that a run
// wrote nothing (as root, permissions would not stop it).
std::string Snapshot(const std::string &dir)
{
    std::string listing;
    DIR *entries = opendir(dir.c_str());
    if (entries == nullptr)
        return listing;
    std::vector<std::string> names;
    while (dirent *entry = readdir(entries))
        names.push_back(entry->d_name);
    closedir(entries);
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) {
        struct stat info;
        std::string path = dir + "/" + name;
        if (name == "." || name == ".." || lstat(path.c_str(), &info) != 0)
            continue;
        listing += path + " " + std::to_string(info.st_size) + " " + std::to_string(info.st_mtim.tv_sec) + "." +
                   std::to_string(info.st_mtim.tv_nsec) + "\n";
        listing += S_ISDIR(info.st_mode) ? Snapshot(path) : ReadFile(path);
    }
    return listing;
}

struct NativeRun {
    ProcessResult result;
    std::string atoms; // the atom table's content after the run
    std::string errors;
};

NativeRun RunNative(Family family, const std::string &registry, const std::vector<std::string> &args,
                    Form form = Form::RegFile, const std::string &registry64 = "")
{
    std::string root = MakeTempDir("dorovivi-e2e");
    bool wow64 = form == Form::RegFile64 || form == Form::DriveNt64;
    std::string file = "REGEDIT4\r\n" + VersionKeys(family, wow64) +
                       (wow64 ? In32BitView(registry) + registry64 : registry);
    std::vector<std::string> env = {"DOROVIVI_ROOT=" + root};
    std::string atoms = root + "/atoms";
    bool regFile = form == Form::RegFile || form == Form::RegFile64;
    if (regFile) {
        WriteFile(root + "/HKLM.reg", file);
    } else {
        if (form == Form::Drive98)
            Write98Drive(root, file);
        else
            WriteNtDrive(root, file);
        std::string runtime = MakeTempDir("dorovivi-runtime");
        env.push_back("XDG_RUNTIME_DIR=" + runtime);
        atoms = runtime + "/dorovivi/atoms";
    }
    std::string before = regFile ? "" : Snapshot(root);
    std::vector<std::string> argv = {DOROVIVI_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string errors = MakeTempDir("dorovivi-stderr") + "/stderr";
    NativeRun run = {RunProcess(argv, env, errors), "", ReadFile(errors)};
    if (regFile)
        EXPECT_EQ(ReadFile(root + "/HKLM.reg"), file) << "the registry file must never change";
    else
        EXPECT_EQ(Snapshot(root), before) << "nothing may change on a Windows drive";
    run.atoms = ReadFile(atoms);
    return run;
}

class NativeScenario : public testing::TestWithParam<FormedScenario> {};

TEST_P(NativeScenario, AnswersAsDocumented)
{
    const Scenario &s = GetParam().scenario;
    NativeRun run = RunNative(s.family, s.registry, s.args, GetParam().form, s.registry64);
    EXPECT_EQ(run.result.exitCode, s.exitCode);
    EXPECT_EQ(run.result.output, s.output);
    EXPECT_EQ(run.atoms, s.atom != nullptr ? std::string("1 ") + s.atom + "\n" : "");
    EXPECT_EQ(run.errors, "") << "a registry that reads fine gives no message";
}

INSTANTIATE_TEST_SUITE_P(Table, NativeScenario, testing::ValuesIn(AllFormedScenarios()), FormedName);

TEST(NativeOnly, UnknownFamilyFindsNoAdapter)
{
    using namespace scenario;
    NativeRun run = RunNative(Family::Unknown, Card98(CardOne, "Net\\0000", Adapter, "HomeNet") +
                                                   CardNt(1, Adapter, "NtNet"),
                              {"H"});
    EXPECT_EQ(run.result.exitCode, 2);
    EXPECT_EQ(run.result.output, "XXXXXX");
}

TEST(NativeOnly, AtomReferencesAccumulateAcrossRuns)
{
    std::string root = MakeTempDir("dorovivi-e2e");
    std::vector<std::string> env = {"DOROVIVI_ROOT=" + root};
    WriteFile(root + "/HKLM.reg", "REGEDIT4\r\n" + scenario::Companion("1"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(RunProcess({DOROVIVI_BINARY, "@"}, env).exitCode, 101);
    WriteFile(root + "/HKLM.reg", "REGEDIT4\r\n");
    EXPECT_EQ(RunProcess({DOROVIVI_BINARY, "@"}, env).exitCode, 100);
    EXPECT_EQ(ReadFile(root + "/atoms"), "3 PXM INSTALLED 1\n1 PXM INSTALLED 0\n");
}

TEST(NativeOnly, MissingOrUnwritableRootStillAnswers)
{
    std::vector<std::string> missing = {"DOROVIVI_ROOT=/nonexistent/dorovivi"};
    EXPECT_EQ(RunProcess({DOROVIVI_BINARY, "H"}, missing).output, "XXXXXX");
    EXPECT_EQ(RunProcess({DOROVIVI_BINARY, "@"}, missing).exitCode, 100);
}

TEST(NativeOnly, BundledExamplesAnswer)
{
    struct Case {
        const char *system;
        const char *command;
        int exitCode;
        const char *output;
    };
    const Case cases[] = {
        {"win98", "H", 0, "CampusNet"},
        {"win98", "@", 101, ""},
        {"nt", "H", 5, "LabNet"},
        {"nt", "@", 100, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.system) + " " + c.command);
        std::string root = MakeTempDir("dorovivi-example");
        WriteFile(root + "/HKLM.reg", ReadFile(std::string(DOROVIVI_EXAMPLES) + "/" + c.system + "/HKLM.reg"));
        ProcessResult result = RunProcess({DOROVIVI_BINARY, c.command}, {"DOROVIVI_ROOT=" + root});
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.output, c.output);
    }
}

} // namespace
