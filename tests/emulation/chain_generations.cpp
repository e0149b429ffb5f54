#include "chain_generations.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

#include "disk_image_writer.h"
#include "platform/posix/root/image_root.h"
#include "process_run.h"
#include "registry_files.h"

std::string Registry(int generation)
{
    return "CREG generation " + std::to_string(generation) + std::string(1500, 'r');
}

std::vector<std::string> WriteGenerations(const std::string &dir, int count)
{
    std::string tree = dir + "/tree", error;
    mkdir(tree.c_str(), 0755);
    mkdir((tree + "/WINDOWS").c_str(), 0755);
    WriteFile(tree + "/WINDOWS/SYSTEM.DAT", Registry(0));
    std::vector<std::string> raws = {dir + "/gen0.raw"};
    std::vector<PlacedPartition> placed;
    EXPECT_TRUE(WriteRawDisk({FsPartition(FileSystem::Fat12, tree)}, Layout::Bare, raws[0], &placed, &error)) << error;
    for (int i = 1; i < count; ++i) {
        raws.push_back(dir + "/gen" + std::to_string(i) + ".raw");
        WriteFile(tree + "/WINDOWS/SYSTEM.DAT", Registry(i));
        std::string command = "cp " + raws[i - 1] + " " + raws[i] + " && MTOOLS_SKIP_CHECK=1 mcopy -o -i " + raws[i] +
                              " " + tree + "/WINDOWS/SYSTEM.DAT ::/WINDOWS/SYSTEM.DAT";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    return raws;
}

std::string Answer(const std::string &image)
{
    std::string content;
    {
        Installation found = FindInDiskImage(image, "");
        content = found.kind == InstallationKind::Windows9x ? ReadRegistryFile(found.registry) : "none: " + found.problem;
    }
    if (!(waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD))
        content += " (a child is left)";
    return content;
}
