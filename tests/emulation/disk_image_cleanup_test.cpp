// The images a run writes, and the image child serving them, go when the
// run ends.
#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fat_disks.h"
#include "platform/posix/root/image_root.h"
#include "process_run.h"

namespace {

// Run only as the child of the test below: writes an image, says where, and
// keeps the registry file found in it to the end, as the program does.
TEST(DiskImage, DISABLED_WritesAnImageAndSaysWhere)
{
    std::string image = WriteDisk("one.img", "bare", {Fat("12", Win98("WINDOWS"))});
    ASSERT_NE(image, "");
    static Installation &kept = *new Installation(FindInDiskImage(image, "")); // never destroyed
    ASSERT_TRUE(kept.registry.Open()) << kept.problem;
    std::printf("images in %s\n", Dir().c_str());
}

// Images go when the run that wrote them ends, whichever tests it ran and in
// whatever order: a run of this program writes one, then it must be gone.
TEST(DiskImage, ImagesGoWhenTheirRunEnds)
{
    if (std::getenv("DOROVIVI_KEEP_TEMP") != nullptr)
        GTEST_SKIP() << "DOROVIVI_KEEP_TEMP keeps them";
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    self[length] = '\0';
    // The image child of that run is orphaned to this process if the run
    // leaves it behind.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    ProcessResult run = RunProcess(
        {self, "--gtest_also_run_disabled_tests", "--gtest_filter=DiskImage.DISABLED_WritesAnImageAndSaysWhere"}, {},
        "", 300);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::size_t at = run.output.find("images in /");
    ASSERT_NE(at, std::string::npos) << run.output;
    at += 10;
    const std::string dir = run.output.substr(at, run.output.find('\n', at) - at);
    struct stat st;
    EXPECT_NE(stat(dir.c_str(), &st), 0) << dir << " outlived its run";
    EXPECT_FALSE(ChildrenLeft()) << "the image child outlived its run";
}

} // namespace
