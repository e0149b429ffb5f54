#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/posix/win32_api.h"

namespace {

// The emulated registry is read once per process, so this suite owns one
// system root for the whole program.
class RegistryApi : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/dorovivi-api-XXXXXX";
        std::string root = mkdtemp(pattern);
        std::ofstream(root + "/HKLM.reg") << "REGEDIT4\n\n"
                                             "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\n"
                                             "\"VersionNumber\"=\"4.10.2222\"\n"
                                             "[HKEY_LOCAL_MACHINE\\Software\\Test]\n"
                                             "\"Text\"=\"abcdef\"\n";
        setenv("DOROVIVI_ROOT", root.c_str(), 1);
    }
};

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

} // namespace
