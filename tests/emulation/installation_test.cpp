// Which registry a system root stands for: the emulation's HKLM.reg, or the
// Windows installation of a drive as its boot files name it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/posix/root/root_contents.h"
#include "process_run.h"

namespace {

const char Win98Dat[] = "WIN98/SYSTEM.DAT";
const char NtSystem[] = "WINNT/system32/config/SYSTEM";

// Files of a drive, by path; a path ending in '/' is a directory, "|" a FIFO.
struct File {
    std::string path, content;
};

std::string MakeDrive(const std::vector<File> &files)
{
    std::string drive = MakeTempDir("dorovivi-drive");
    for (const File &f : files) {
        for (std::size_t cut = f.path.find('/'); cut != std::string::npos; cut = f.path.find('/', cut + 1))
            mkdir((drive + "/" + f.path.substr(0, cut)).c_str(), 0755);
        if (f.content == "|")
            mkfifo((drive + "/" + f.path).c_str(), 0644);
        else if (f.path.back() != '/')
            std::ofstream(drive + "/" + f.path, std::ios::binary) << f.content;
    }
    return drive;
}

std::vector<File> NtIn(const std::string &dir)
{
    return {{dir + "/system32/config/SYSTEM", "h"}, {dir + "/system32/config/SOFTWARE", "h"}};
}

std::vector<File> operator+(std::vector<File> a, const std::vector<File> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Installation, FoundAsTheBootFilesNameIt)
{
    const std::string msdos98 = "[Paths]\r\nWinDir=C:\\WIN98\r\nWinBootDir=C:\\WIN98\r\n[Options]\r\nBootGUI=1\r\n";
    const std::string bootNt = "[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINNT\r\n"
                               "[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINNT=\"W\"\r\nC:\\=\"98\"\r\n";
    const std::vector<File> win98 = {{Win98Dat, "c"}}, win95 = {{"WIN95/SYSTEM.DAT", "c"}};
    const std::vector<File> winnt = NtIn("WINNT"), win2k = NtIn("WIN2K");
    struct Case {
        const char *what;
        std::vector<File> files;
        InstallationKind kind;
        std::string registry; // relative to the drive; "" for none
        bool windowsFound;
        std::string windir = "";  // DOROVIVI_WINDIR
        std::string problem = ""; // what the line names, where a case judges it
    };
    const std::string noRegistry =
        "no registry (HKLM.reg, a Windows directory with SYSTEM.DAT or system32/config/SYSTEM and SOFTWARE)";
    const Case cases[] = {
        {"HKLM.reg wins", std::vector<File>{{"HKLM.reg", "REGEDIT4"}} + winnt, InstallationKind::EmulationRoot, "HKLM.reg",
         false},
        {"NT Windows directory itself", NtIn("."), InstallationKind::WindowsNt, "system32/config/SYSTEM", true},
        {"98 Windows directory itself", {{"SYSTEM.DAT", "c"}}, InstallationKind::Windows9x, "SYSTEM.DAT", true},
        {"MSDOS.SYS names one of two", std::vector<File>{{"MSDOS.SYS", msdos98}} + win98 + win95,
         InstallationKind::Windows9x, Win98Dat, true},
        {"boot.ini names one of two", std::vector<File>{{"boot.ini", bootNt}} + winnt + win2k, InstallationKind::WindowsNt,
         NtSystem, true},
        {"the only 98 directory", win98 + std::vector<File>{{"Program Files/", ""}}, InstallationKind::Windows9x, Win98Dat,
         true},
        {"the only NT directory", winnt, InstallationKind::WindowsNt, NtSystem, true},
        {"any case at every level",
         {{"msdos.sys", "[paths]\nwindir=c:\\windows\n"}, {"Windows/System.Dat", "c"}, {"OTHER/SYSTEM.DAT", "c"}},
         InstallationKind::Windows9x, "Windows/System.Dat", true},
        {"two spellings, neither the one looked up", {{"WINDOWS/system.DAT", "c"}, {"WINDOWS/System.Dat", "c"}},
         InstallationKind::Windows9x, "WINDOWS/System.Dat", true},
        {"dual boot, boot.ini default NT", std::vector<File>{{"MSDOS.SYS", msdos98}, {"BOOT.INI", bootNt}} + win98 + winnt,
         InstallationKind::WindowsNt, NtSystem, true},
        {"dual boot, boot.ini default the 98 boot sector",
         std::vector<File>{{"MSDOS.SYS", msdos98}, {"BOOT.INI", "[boot loader]\r\ndefault=C:\\\r\n"}} + win98 + winnt,
         InstallationKind::Windows9x, Win98Dat, true},
        {"MSDOS.SYS names a missing directory", std::vector<File>{{"MSDOS.SYS", "[Paths]\r\nWinDir=C:\\GONE\r\n"}} + win98,
         InstallationKind::Windows9x, Win98Dat, true},
        {"MSDOS.SYS is a FIFO", std::vector<File>{{"MSDOS.SYS", "|"}} + win98, InstallationKind::Windows9x, Win98Dat, true},
        {"default= past the first 16 KiB is not read",
         std::vector<File>{{"boot.ini", "[boot loader]\r\n" + std::string(20000, ';') + "\r\ndefault=multi(0)\\WINNT\r\n"}} +
             winnt + win2k,
         InstallationKind::None, "", true},
        {"two installations, nothing names one", win98 + winnt, InstallationKind::None, "", true},
        {"NT directory with SYSTEM only", {{"WINNT/system32/config/SYSTEM", "h"}}, InstallationKind::WindowsNt, NtSystem,
         true},
        {"SYSTEM alone beside a whole installation", winnt + std::vector<File>{{"OLD/system32/config/SYSTEM", "h"}},
         InstallationKind::WindowsNt, NtSystem, true},
        {"NT directory with SOFTWARE only, any case", {{"WinNT/System32/Config/software", "h"}}, InstallationKind::None,
         "", true, "", "WinNT\\System32\\Config has SOFTWARE but no SYSTEM"},
        {"NT Windows directory itself with SYSTEM only", {{"system32/config/SYSTEM", "h"}}, InstallationKind::WindowsNt,
         "system32/config/SYSTEM", true},
        {"empty directory", {}, InstallationKind::None, "", false, "", noRegistry},
        {"system32\\config without hives", {{"WINNT/system32/config/", ""}}, InstallationKind::None, "", false, "",
         noRegistry},
        {"DOROVIVI_WINDIR names one of two", win98 + winnt, InstallationKind::WindowsNt, NtSystem, true, "WINNT"},
        {"DOROVIVI_WINDIR wins over the boot files, any case",
         std::vector<File>{{"MSDOS.SYS", msdos98}, {"BOOT.INI", bootNt}} + win98 + winnt, InstallationKind::Windows9x,
         Win98Dat, true, "win98\\"},
        {"DOROVIVI_WINDIR names nothing there", winnt, InstallationKind::None, "", true, "GONE"},
        {"DOROVIVI_WINDIR does not climb out", winnt, InstallationKind::None, "", true, "../WINNT"},
        {"DOROVIVI_WINDIR on a drive without Windows", {}, InstallationKind::None, "", false, "WINNT"},
        {"boot.ini default on another disk is not followed",
         std::vector<File>{{"boot.ini", "[boot loader]\r\ndefault=multi(0)disk(0)rdisk(1)partition(1)\\WINNT\r\n"}} +
             winnt + win2k,
         InstallationKind::None, "", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string drive = MakeDrive(c.files);
        Installation found = FindInstallation(drive, c.windir);
        EXPECT_EQ(found.kind, c.kind);
        EXPECT_EQ(found.registry.name, c.registry.empty() ? "" : drive + "/" + c.registry);
        EXPECT_EQ(found.windowsFound, c.windowsFound);
        EXPECT_EQ(found.problem.empty(), c.kind != InstallationKind::None) << found.problem;
        EXPECT_EQ(found.problem.find('\n'), std::string::npos);
        if (!c.problem.empty()) {
            EXPECT_EQ(found.problem, EmptyRegistryLine(drive, c.problem));
        }
    }
}

TEST(Installation, SeveralInstallationsAreListed)
{
    std::string drive = MakeDrive(std::vector<File>{{Win98Dat, "c"}} + NtIn("WINNT"));
    Installation found = FindInstallation(drive, "");
    EXPECT_EQ(found.problem, drive +
                                 ": several Windows installations and no boot configuration names one: WIN98, WINNT; "
                                 "set DOROVIVI_WINDIR to one; reading an empty registry");
    EXPECT_NE(FindInstallation(drive + "/missing", "").problem.find(": no such file or directory; "), std::string::npos);
}

} // namespace
