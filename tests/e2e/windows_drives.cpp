#include "windows_drives.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "creg_writer.h"
#include "process_run.h"
#include "regf_writer.h"

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

namespace {

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

// `target` written at `path` as the dirty primary `stale` and its logs.
void WriteDirtyHive(const std::string &path, const std::string &name, const RegistryFixture &stale,
                    const RegistryFixture &target, const DirtyHive &dirty)
{
    ASSERT_TRUE(WriteRegfHive(stale, path));
    std::string staleBytes = ReadFile(path);
    ASSERT_TRUE(WriteRegfHive(target, path));
    HiveLogSet set;
    ASSERT_TRUE(WriteHiveLogs(staleBytes, ReadFile(path), name, dirty.kind, dirty.damage, set));
    WriteFile(path, dirty.sealed ? SealedHive(staleBytes, kHiveLogFirstSequence - 1) : set.primary);
    std::string dir = path.substr(0, path.rfind('/') + 1);
    for (const auto &log : set.logs)
        WriteFile(dir + log.first, log.second);
}

} // namespace

void WriteNtDrive(const std::string &drive, const std::string &regText, const DirtyHive *dirty)
{
    const RegistryFixture systemBase = {{"Select", {{"Current", REG_DWORD, std::string("\1\0\0\0", 4)}}},
                                        {"ControlSet001", {}}};
    const RegistryFixture softwareBase = {{"Microsoft", {}}};
    RegistryFixture system = systemBase, software;
    for (const FixtureKey &key : FixtureFromRegText(regText)) {
        bool inSystem = false;
        std::string inHive;
        if (PlaceInNtHive(key.path, inSystem, inHive))
            (inSystem ? system : software).push_back({inHive, key.values});
    }
    for (const char *dir : {"/Program Files", "/WINNT", "/WINNT/System32", "/WINNT/System32/config"})
        mkdir((drive + dir).c_str(), 0755);
    const std::string config = drive + "/WINNT/System32/config/";
    bool systemDirty = dirty != nullptr && system.size() > systemBase.size();
    if (systemDirty)
        WriteDirtyHive(config + "SYSTEM", "SYSTEM", systemBase, system, *dirty);
    else
        ASSERT_TRUE(WriteRegfHive(system, config + "SYSTEM"));
    if (dirty != nullptr && !systemDirty)
        WriteDirtyHive(config + "software", "software", softwareBase, software, *dirty);
    else
        ASSERT_TRUE(WriteRegfHive(software, config + "software"));
    WriteFile(drive + "/BOOT.INI", "[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINNT\r\n"
                                   "[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINNT="
                                   "\"Microsoft Windows 2000 Professional\" /fastdetect\r\n");
}

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

