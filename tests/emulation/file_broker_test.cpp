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
    // An image's files: a snapshot beside its sibling, its base one folder up.
    ASSERT_EQ(mkdir((drive + "/Snapshots").c_str(), 0755), 0);
    for (const std::string &file : {drive + "/SYSTEM", top + "/outside", top + "/driveX/SYSTEM", drive + "/HKLM.reg",
                                    drive + "/Snapshots/child.vdi", drive + "/Snapshots/sibling.vdi"})
        WriteFile(file, "bytes");
    ASSERT_EQ(symlink((top + "/outside").c_str(), (drive + "/linked").c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", (drive + "/device").c_str()), 0);
    ASSERT_EQ(mkfifo((drive + "/fifo").c_str(), 0644), 0);
    const BrokerScope tree{drive, BrokerReach::Tree, {}}, export_{drive + "/HKLM.reg", BrokerReach::OneFile, {}},
        image{drive + "/Snapshots", BrokerReach::FolderAndAbove, {}};
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
        {tree, drive + "/../outside", EPERM},
        {tree, drive + "/SYSTEM/../../outside", EPERM},
        {tree, top + "/outside", EPERM},
        {tree, top + "/driveX/SYSTEM", EPERM},
        {tree, "/etc/passwd", EPERM},
        {tree, drive + "/missing", ENOENT},
        {export_, drive + "/HKLM.reg", 0},
        {export_, drive + "/SYSTEM", EPERM},
        {export_, drive + "/HKLM.reg/../SYSTEM", EPERM},
        {image, drive + "/Snapshots/sibling.vdi", 0},
        {image, drive + "/Snapshots/../SYSTEM", 0},
        {image, drive + "/Snapshots/..", 0}, // listed, for a parent known by its identity alone
        {image, drive + "/Snapshots/../../outside", EPERM},
        {image, drive + "/Snapshots/../Snapshots/child.vdi", EPERM},
        {image, drive + "/SYSTEM", EPERM}, // the folder above, named otherwise than from the image's
        {image, drive + "/Snapshots/../linked", 0},
        {image, "/etc/passwd", EPERM},
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
