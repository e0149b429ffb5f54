// The disk image writer, checked with tools that do not share the tool's
// code: TSK's mmls, fsstat, fls and icat read back what was written, and
// qemu-img finds the container it was asked for, holding the same disk.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "disk_image_writer.h"
#include "process_run.h"

namespace {

// A tree with a mixed-case path, as Windows names it, and a file of a few
// clusters whose bytes must come back unchanged.
std::string WriteTree(const std::string &dir)
{
    for (const char *sub : {"", "/WINNT", "/WINNT/System32", "/WINNT/System32/config"})
        mkdir((dir + sub).c_str(), 0755);
    std::string content;
    for (int i = 0; i < 20000; ++i)
        content += static_cast<char>((i * 7919 + i / 251) % 256);
    WriteFile(dir + "/WINNT/System32/config/SYSTEM", content);
    WriteFile(dir + "/boot.ini", "[boot loader]\r\n");
    return content;
}

ProcessResult Tool(const std::vector<std::string> &argv)
{
    std::vector<std::string> args = {"/usr/bin/env"};
    args.insert(args.end(), argv.begin(), argv.end());
    return RunProcess(args, {"PATH=/usr/sbin:/usr/bin:/sbin:/bin"});
}

// Reads the file back through TSK from the file system at `sector` of `image`.
void ExpectFileThroughTsk(const std::string &image, std::uint64_t sector, const char *type, const std::string &content)
{
    std::string offset = std::to_string(sector);
    ProcessResult stat = Tool({"fsstat", "-o", offset, image});
    EXPECT_NE(stat.output.find(std::string("File System Type: ") + type), std::string::npos) << stat.output;
    ProcessResult listing = Tool({"fls", "-r", "-p", "-o", offset, image});
    std::size_t at = listing.output.find("\tWINNT/System32/config/SYSTEM\n");
    ASSERT_NE(at, std::string::npos) << listing.output;
    EXPECT_NE(listing.output.find("\tboot.ini\n"), std::string::npos) << "long names in their case";
    std::size_t line = listing.output.rfind('\n', at) + 1;
    std::string entry = listing.output.substr(line, at - line); // "r/r 68-128-2:"
    std::string inode = entry.substr(entry.find(' ') + 1);
    inode = inode.substr(0, inode.find_first_of(":-"));
    EXPECT_EQ(Tool({"icat", "-o", offset, image, inode}).output, content);
}

TEST(DiskImageWriter, FileSystemsInEachLayoutReadBackThroughTsk)
{
    const FileSystem systems[] = {FileSystem::Fat12, FileSystem::Fat16, FileSystem::Fat32, FileSystem::Ntfs};
    const char *types[] = {"FAT12", "FAT16", "FAT32", "NTFS"};
    const Layout layouts[] = {Layout::Mbr, Layout::MbrLogical, Layout::Gpt, Layout::Bare};
    std::string dir = MakeTempDir("dorovivi-writer");
    std::string content = WriteTree(dir + "/tree");
    for (int f = 0; f < 4; ++f) {
        for (Layout layout : layouts) {
            SCOPED_TRACE(std::string(FileSystemName(systems[f])) + " " + LayoutName(layout));
            // Two partitions, the tree on the second, so logical ones form a chain.
            std::vector<ImagePartition> partitions = {FsPartition(systems[f], dir + "/tree", true)};
            if (layout != Layout::Bare)
                partitions.insert(partitions.begin(), OtherPartition(0x83, "not a file system"));
            std::vector<PlacedPartition> placed;
            std::string error, path = dir + "/disk.img";
            ASSERT_TRUE(WriteRawDisk(partitions, layout, path, &placed, &error)) << error;
            std::uint64_t sector = placed.back().offset / 512;
            if (layout != Layout::Bare) {
                ProcessResult table = Tool({"mmls", path});
                EXPECT_NE(table.output.find(layout == Layout::Gpt ? "GUID Partition Table" : "DOS Partition Table"),
                          std::string::npos) << table.output;
                char start[24];
                std::snprintf(start, sizeof start, "%010llu", static_cast<unsigned long long>(sector));
                EXPECT_NE(table.output.find(start), std::string::npos) << table.output;
                EXPECT_EQ(layout == Layout::MbrLogical, table.output.find("Extended") != std::string::npos)
                    << table.output;
            }
            ExpectFileThroughTsk(path, sector, types[f], content);
        }
    }
}

TEST(DiskImageWriter, ContainersHoldTheSameDisk)
{
    struct Case {
        Container container;
        const char *qemuFormat; // nullptr: qemu-img does not read it
        const char *qemuDetail; // in qemu-img info's output
        bool tskReads;
        const char *secondFile; // a file that must exist beside the image
    };
    const Case cases[] = {
        {Container::Raw, "raw", "file format: raw", true, nullptr},
        {Container::SplitRaw, nullptr, nullptr, true, "disk.003"},
        {Container::VhdFixed, "vpc", "file format: vpc", true, nullptr}, // a footer only: told by -f,
        {Container::VhdDynamic, "vpc", "file format: vpc", true, nullptr},
        {Container::VmdkSparse, "vmdk", "create type: monolithicSparse", true, nullptr},
        {Container::VmdkFlat, "vmdk", "create type: monolithicFlat", true, "disk-flat.vmdk"},
        {Container::Qcow2V2, "qcow2", "compat: 0.10", false, nullptr},
        {Container::Qcow2V3, "qcow2", "compat: 1.1", false, nullptr},
        {Container::E01, nullptr, nullptr, true, "disk.E02"},
    };
    std::string dir = MakeTempDir("dorovivi-containers");
    std::string content = WriteTree(dir + "/tree");
    std::vector<ImagePartition> partitions = {FsPartition(FileSystem::Fat16, dir + "/tree", true),
                                              FsPartition(FileSystem::Ntfs, dir + "/tree")};
    std::vector<PlacedPartition> placed;
    std::string error, raw = dir + "/source.raw";
    ASSERT_TRUE(WriteRawDisk(partitions, Layout::MbrLogical, raw, &placed, &error)) << error;
    for (const Case &c : cases) {
        SCOPED_TRACE(ContainerName(c.container));
        std::string out = MakeTempDir("dorovivi-container");
        std::string copy = out + "/source.raw";
        WriteFile(copy, ReadFile(raw));
        std::string image = WriteContainer(copy, c.container, out, "disk", &error);
        ASSERT_NE(image, "") << error;
        struct stat info;
        if (c.secondFile != nullptr) {
            EXPECT_EQ(stat((out + "/" + c.secondFile).c_str(), &info), 0) << c.secondFile;
        }
        if (c.qemuFormat != nullptr) {
            ProcessResult about = Tool({"qemu-img", "info", "-f", c.qemuFormat, image});
            EXPECT_NE(about.output.find(c.qemuDetail), std::string::npos) << about.output;
            EXPECT_EQ(Tool({"qemu-img", "compare", "-q", "-f", "raw", "-F", c.qemuFormat, raw, image}).exitCode, 0);
        }
        if (c.container == Container::E01) {
            EXPECT_NE(Tool({"ewfinfo", image}).output.find("Media size"), std::string::npos);
        }
        if (c.tskReads) {
            EXPECT_NE(Tool({"mmls", image}).output.find("Extended"), std::string::npos);
            ExpectFileThroughTsk(image, placed[0].offset / 512, "FAT16", content);
            ExpectFileThroughTsk(image, placed[1].offset / 512, "NTFS", content);
        }
    }
}

} // namespace
