#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

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
    EXPECT_EQ(info.dwBuildNumber, 2222u);
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
