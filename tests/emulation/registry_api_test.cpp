#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include "platform/posix/view/registry_view.h"
#include "platform/posix/system/emulated_system.h"
#include "platform/posix/base/win32_api.h"
#include "process_run.h"

namespace {

// The emulated registry is read once per process, so this suite owns one
// system root for the whole program.
class RegistryApi : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string root = MakeTempDir("dorovivi-api");
        std::ofstream(root + "/HKLM.reg") << "REGEDIT4\n\n"
                                             "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\n"
                                             "\"VersionNumber\"=\"4.10.2222\"\n"
                                             "[HKEY_LOCAL_MACHINE\\Software\\Test]\n"
                                             "\"Text\"=\"abcdef\"\n";
        setenv("DOROVIVI_ROOT", root.c_str(), 1);
        Root = root;
    }

    static std::string Root;
};

std::string RegistryApi::Root;

TEST_F(RegistryApi, QueryReportsSizesAsWin32Does)
{
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\test", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);

    BYTE data[16];
    DWORD type = 0;
    DWORD size = 3;
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, data, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 7u) << "the size needed, NUL included";
    size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(key, "text", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(data), size), std::string("abcdef\0", 7));
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, data, &size), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, data, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Absent", 0, KEY_QUERY_VALUE, &key), ERROR_FILE_NOT_FOUND);
    // A key left open names nothing in the next system.
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\test", 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    ResetEmulatedSystem();
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, data, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryApi, VersionComesFromTheEmulatedInstallation)
{
    OSVERSIONINFOA info = {};
    EXPECT_EQ(GetVersionExA(&info), FALSE) << "a record without its size is refused";
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_EQ(GetVersionExA(&info), TRUE);
    EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
    EXPECT_EQ(info.dwMajorVersion, 4u);
    EXPECT_EQ(info.dwMinorVersion, 10u);
    EXPECT_EQ(info.dwBuildNumber, 0x040A08AEu) << "95/98/Me: major and minor in the high word";
}

// What Windows tells a program without a compatibility manifest: from 8.1
// on, Windows 8 (6.2.9200, no service pack); before, what is installed.
TEST_F(RegistryApi, VersionAsAProgramWithoutAManifestIsTold)
{
    const std::string nt = "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion]\n";
    const std::string w9x = "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\n";
    struct Case {
        const char *what;
        std::string keys;
        DWORD platform, major, minor, build; // platform 0: the call fails
        const char *servicePack;
    };
    const Case cases[] = {
        {"10", nt + "\"CurrentVersion\"=\"6.3\"\n\"CurrentMajorVersionNumber\"=dword:0000000a\n"
                    "\"CurrentMinorVersionNumber\"=dword:00000000\n\"CurrentBuildNumber\"=\"19045\"\n",
         2, 6, 2, 9200, ""},
        {"8", nt + "\"CurrentVersion\"=\"6.2\"\n\"CurrentBuildNumber\"=\"9200\"\n", 2, 6, 2, 9200, ""},
        {"7 SP1", nt + "\"CurrentVersion\"=\"6.1\"\n\"CurrentBuildNumber\"=\"7601\"\n\"CSDVersion\"=\"Service Pack 1\"\n",
         2, 6, 1, 7601, "Service Pack 1"},
        {"NT 4 without a build number", nt + "\"CurrentVersion\"=\"4.0\"\n", 2, 4, 0, 0, ""},
        {"98 SE", w9x + "\"VersionNumber\"=\"4.10.2222\"\n\"SubVersionNumber\"=\" A \"\n", 1, 4, 10, 0x040A08AE, " A "},
        {"95", w9x + "\"VersionNumber\"=\"4.00.950\"\n", 1, 4, 0, 0x040003B6, ""},
        {"Me beside an empty NT key", nt + w9x + "\"VersionNumber\"=\"4.90.3000\"\n", 1, 4, 90, 0x045A0BB8, ""},
        {"no version", "", 0, 0, 0, 0, ""},
        {"only the new numbers", nt + "\"CurrentMajorVersionNumber\"=dword:0000000a\n", 0, 0, 0, 0, ""},
        {"CurrentVersion no number", nt + "\"CurrentVersion\"=\"six\"\n", 0, 0, 0, 0, ""},
        {"CurrentVersion a number", nt + "\"CurrentVersion\"=dword:00000006\n", 0, 0, 0, 0, ""},
        {"CurrentBuildNumber no number", nt + "\"CurrentVersion\"=\"5.1\"\n\"CurrentBuildNumber\"=\"2600a\"\n",
         0, 0, 0, 0, ""},
        {"VersionNumber no number", w9x + "\"VersionNumber\"=\"4.10.2222 A\"\n", 0, 0, 0, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string root = MakeTempDir("dorovivi-version");
        std::ofstream(root + "/HKLM.reg") << "REGEDIT4\n\n" << c.keys;
        setenv("DOROVIVI_ROOT", root.c_str(), 1);
        ResetEmulatedSystem();
        OSVERSIONINFOA info;
        std::memset(&info, 0x55, sizeof info);
        info.dwOSVersionInfoSize = sizeof info;
        ASSERT_EQ(GetVersionExA(&info), c.platform != 0 ? TRUE : FALSE);
        if (c.platform == 0) {
            EXPECT_EQ(info.dwPlatformId, 0x55555555u) << "a failed call leaves the record as it was";
            continue;
        }
        EXPECT_EQ(info.dwPlatformId, c.platform);
        EXPECT_EQ(info.dwMajorVersion, c.major);
        EXPECT_EQ(info.dwMinorVersion, c.minor);
        EXPECT_EQ(info.dwBuildNumber, c.build);
        EXPECT_STREQ(info.szCSDVersion, c.servicePack);
        EXPECT_EQ(info.szCSDVersion[sizeof info.szCSDVersion - 1], '\0');
    }
}

TEST(RegistryView, PlacesOpensAsWow64Does)
{
    const RegistryView Early = RegistryView::Wow64Early, Late = RegistryView::Wow64;
    struct Case {
        RegistryView view;
        const char *path, *placed;
    };
    const Case cases[] = {
        {Late, "Software", "Software\\Wow6432Node"},
        {Late, "SOFTWARE\\Vendor\\Product", "SOFTWARE\\Wow6432Node\\Vendor\\Product"},
        {Late, "Software\\Wow6432NodeX", "Software\\Wow6432Node\\Wow6432NodeX"},
        {Late, "SoftwareX\\Vendor", "SoftwareX\\Vendor"},
        {Late, "System\\CurrentControlSet\\Services", "System\\CurrentControlSet\\Services"},
        {Late, "", ""},
        {Late, "Software\\Policies\\Vendor", "Software\\Policies\\Vendor"},
        {Late, "Software\\PoliciesX", "Software\\Wow6432Node\\PoliciesX"},
        {Late, "Software\\Microsoft\\Windows NT\\CurrentVersion",
         "Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion"},
        {Late, "Software\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\FONTS",
         "Software\\Microsoft\\Windows NT\\CurrentVersion\\FONTS"},
        {Late, "Software\\Classes\\.txt", "Software\\Classes\\.txt"},
        {Early, "Software\\Classes\\.txt", "Software\\Classes\\Wow6432Node\\.txt"},
        {Late, "Software\\Classes\\CLSID\\{0}", "Software\\Classes\\Wow6432Node\\CLSID\\{0}"},
        {Late, "Software\\Classes\\Wow6432Node\\CLSID", "Software\\Classes\\Wow6432Node\\CLSID"},
        {Early, "Software\\Classes\\HCP", "Software\\Classes\\HCP"},
        {Early, "Software\\Clients", "Software\\Wow6432Node\\Clients"},
        {Late, "Software\\Clients", "Software\\Clients"},
        {RegistryView::Native, "Software\\Wow6432Node\\Vendor", "Software\\Wow6432Node\\Vendor"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(PathInView(c.path, c.view), c.placed) << c.path << " in view " << static_cast<int>(c.view);
}

// Whether an installation is 64-bit, and which keys it shares, comes from
// its own records, looked at anew for each system.
TEST_F(RegistryApi, ViewFollowsTheInstallation)
{
    struct Case {
        const char *architecture; // nullptr: no value
        const char *version;
        const char *opened;
        bool found;
    };
    const Case cases[] = {
        {"AMD64", "5.2", "Software\\Vendor", true},
        {"amd64", "5.2", "Software\\Vendor", true},
        {"ARM64", "6.3", "Software\\Vendor", true},
        {"x86", "5.1", "Software\\Vendor", false},
        {"AMD64x", "5.2", "Software\\Vendor", false},
        {nullptr, "5.1", "Software\\Vendor", false},
        {"AMD64", "6.0", "Software\\Classes\\.txt", false},
        {"AMD64", "6.1", "Software\\Classes\\.txt", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.architecture != nullptr ? c.architecture : "none") + " " + c.version);
        std::string root = MakeTempDir("dorovivi-view");
        std::ofstream file(root + "/HKLM.reg");
        file << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Session Manager\\Environment]\n";
        if (c.architecture != nullptr)
            file << "\"PROCESSOR_ARCHITECTURE\"=\"" << c.architecture << "\"\n";
        file << "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion]\n"
             << "\"CurrentVersion\"=\"" << c.version << "\"\n"
             << "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Vendor]\n"
             << "[HKEY_LOCAL_MACHINE\\Software\\Classes\\.txt]\n";
        file.close();
        setenv("DOROVIVI_ROOT", root.c_str(), 1);
        ResetEmulatedSystem();
        HKEY key;
        LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.opened, 0, KEY_QUERY_VALUE, &key);
        EXPECT_EQ(result, c.found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        if (result == ERROR_SUCCESS)
            RegCloseKey(key);
    }
    setenv("DOROVIVI_ROOT", Root.c_str(), 1);
    ResetEmulatedSystem();
}

} // namespace
