// The files a parser that may open nothing itself gets from the program.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/sandbox/file_broker.h"
#include "process_run.h"

namespace {

// What a parser that may open nothing itself gets from the program: what
// lies within its root's scope, as named, links followed; never a name that
// climbs out or only begins like the root, and never a device.
TEST(FileBroker, OpensOnlyWhatTheRootsScopeHolds)
{
    std::string top = MakeTempDir("dorovivi-broker"), drive = top + "/drive";
    ASSERT_EQ(mkdir(drive.c_str(), 0755), 0);
    mkdir((top + "/driveX").c_str(), 0755);
    for (const std::string &file : {drive + "/SYSTEM", top + "/outside", top + "/driveX/SYSTEM", drive + "/HKLM.reg"})
        WriteFile(file, "bytes");
    ASSERT_EQ(symlink((top + "/outside").c_str(), (drive + "/linked").c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", (drive + "/device").c_str()), 0);
    ASSERT_EQ(mkfifo((drive + "/fifo").c_str(), 0644), 0);
    const BrokerScope tree{drive, true}, export_{drive + "/HKLM.reg", false};
    struct Case {
        const BrokerScope &scope;
        std::string path;
        int error; // 0: opened
    };
    const Case cases[] = {
        {tree, drive + "/SYSTEM", 0},
        {tree, drive, 0},
        {tree, drive + "/./SYSTEM", 0},
        {tree, drive + "/linked", 0}, // a link the user laid in the root
        {tree, drive + "/fifo", 0},   // opened without blocking, and found no regular file
        {tree, drive + "/device", ENXIO},
        {tree, drive + "/../outside", EACCES},
        {tree, drive + "/SYSTEM/../../outside", EACCES},
        {tree, top + "/outside", EACCES},
        {tree, top + "/driveX/SYSTEM", EACCES},
        {tree, "/etc/passwd", EACCES},
        {tree, drive + "/missing", ENOENT},
        {export_, drive + "/HKLM.reg", 0},
        {export_, drive + "/SYSTEM", EACCES},
        {export_, drive + "/HKLM.reg/../SYSTEM", EACCES},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        errno = 0;
        int fd = OpenForChild(c.scope, c.path, false);
        EXPECT_EQ(fd >= 0 ? 0 : errno, c.error);
        if (fd >= 0)
            close(fd);
    }
    RemoveTree(top);
}

} // namespace
