// DOROVIVI_SANDBOX over a disk image and a drive: the reader takes what the
// kernel offers, none of it, or all of it and else reads nothing.
#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "disk_image_writer.h"
#include "image_run.h"

namespace {

// Whether the kernel runs Landlock: its ABI version, asked of the kernel.
bool KernelHasLandlock()
{
    const long createRuleset = 444, version = 1;
    return syscall(createRuleset, nullptr, 0, version) > 0;
}

TEST(ImageSandbox, EachSettingAnswersAsItSays)
{
    std::string dir = MakeTempDir("dorovivi-image-sandbox");
    std::string tree = WriteNtTree(dir + "/tree"), error;
    std::string image = WriteDiskImage({FsPartition(FileSystem::Ntfs, tree, true)}, Layout::Mbr, Container::Raw, dir,
                                       "disk", &error);
    ASSERT_NE(image, "") << error;
    bool full = KernelHasLandlock();
    struct Case {
        const char *setting;
        bool answers;
        std::string errors;
    };
    for (const std::string &root : {image, tree}) {
        const Case cases[] = {
            {"", true, full ? "" : "the reader's sandbox is partial"},
            {"required", full, full ? "" : "DOROVIVI_SANDBOX=required, but the reader's sandbox would be partial"},
            {"off", true, "dorovivi: " + root + ": the reader's sandbox is off (DOROVIVI_SANDBOX=off)\n"},
            {"sometimes", true, "dorovivi: DOROVIVI_SANDBOX=sometimes is neither off nor required; the reader takes "
                                "the sandbox the kernel offers\n"},
        };
        for (const Case &c : cases) {
            SCOPED_TRACE(root + " " + c.setting);
            ImageRun run = RunOverImage(root, dir, {"H"}, {std::string("DOROVIVI_SANDBOX=") + c.setting});
            EXPECT_EQ(run.result.output, c.answers ? NtAnswer : "XXXXXX");
            if (full || c.errors.empty() || c.errors.back() == '\n')
                EXPECT_EQ(run.errors, c.errors);
            else
                EXPECT_NE(run.errors.find(c.errors), std::string::npos) << run.errors;
        }
    }
    RemoveTree(dir);
}

} // namespace
