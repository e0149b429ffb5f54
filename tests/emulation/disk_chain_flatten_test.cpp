// Chains of differencing disks: VM disks with snapshots, each chain written
// here with its base holding one SYSTEM.DAT and each child another; the
// answer through the chain is the newest child's, as the flattened disk
// gives it.
#include <gtest/gtest.h>

#include <dirent.h>

#include <string>
#include <vector>

#include "chain_generations.h"
#include "chain_writer.h"
#include "process_run.h"

namespace {

// The chain's machine, as VirtualBox records it: the newest child is the
// current state, over `middle`; snapshot "First" was taken when the base was.
std::string WriteVbox(const std::string &dir, const std::string &middle, const std::string &newest)
{
    auto disk = [](const char *uuid) {
        return std::string("<Hardware><StorageControllers><StorageController name=\"SATA\" type=\"AHCI\">"
                           "<AttachedDevice type=\"HardDisk\" port=\"0\" device=\"0\"><Image uuid=\"{") +
               uuid + "}\"/></AttachedDevice></StorageController></StorageControllers></Hardware>";
    };
    const char *base = "0b000000-0000-4000-8000-000000000001", *child = "0b000000-0000-4000-8000-000000000002";
    std::string path = dir + "/VM/VM.vbox";
    WriteFile(path, "<?xml version=\"1.0\"?>\n<VirtualBox xmlns=\"http://www.virtualbox.org/\" version=\"1.19-linux\">"
                    "<Machine uuid=\"{0b000000-0000-4000-8000-0000000000aa}\" name=\"VM\" currentSnapshot=\"{"
                    "0b000000-0000-4000-8000-0000000000f1}\"><MediaRegistry><HardDisks><HardDisk uuid=\"{" +
                        std::string(base) + "}\" location=\"VM.vdi\" format=\"VDI\"><HardDisk uuid=\"{"
                        "0b000000-0000-4000-8000-000000000003}\" location=\"" + middle + "\" format=\"VDI\">"
                        "<HardDisk uuid=\"{" + child + "}\" location=\"" + newest.substr(dir.size() + 4) +
                        "\" format=\"VDI\"/></HardDisk></HardDisk></HardDisks></MediaRegistry><Snapshot uuid=\"{"
                        "0b000000-0000-4000-8000-0000000000f1}\" name=\"First\">" + disk(base) + "</Snapshot>" +
                        disk(child) + "</Machine></VirtualBox>\n");
    return path;
}

// The other .vdi beside the newest of a chain of three: the middle link.
std::string MiddleOf(const std::string &newest)
{
    std::string folder = newest.substr(0, newest.rfind('/')), found;
    DIR *dir = opendir(folder.c_str());
    for (const dirent *entry; dir != nullptr && (entry = readdir(dir)) != nullptr;)
        if (std::string(entry->d_name).find(".vdi") != std::string::npos && folder + "/" + entry->d_name != newest)
            found = folder + "/" + entry->d_name;
    if (dir != nullptr)
        closedir(dir);
    return found;
}

TEST(DiskChain, TheNewestChildAnswersAsTheFlattenedDisk)
{
    struct Case {
        ChainKind kind;
        int links;
        // Also read through its machine's .vbox, now and as snapshot "First", with the
        // middle link's file as the .vbox records it: a wrong one is refused.
        const char *vbox = nullptr;
    } cases[] = {
        {ChainKind::Qcow2, 5}, {ChainKind::Qcow2, 17}, {ChainKind::Vmdk, 3}, {ChainKind::VdiDynamic, 3, "MIDDLE"}, {ChainKind::VdiDynamic, 3, "Snapshots/other.vdi"},
        {ChainKind::VdiFixed, 2}, {ChainKind::Vhd, 3}, {ChainKind::Vhdx, 3}, {ChainKind::Vhd, 16},
        {ChainKind::Qcow2OverRaw, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(ChainKindName(c.kind)) + " of " + std::to_string(c.links));
        std::string dir = MakeTempDir("dorovivi-chain"), error;
        std::vector<std::string> raws = WriteGenerations(dir, c.links);
        std::string newest = WriteChain(c.kind, raws, dir, &error);
        ASSERT_NE(newest, "") << error;
        EXPECT_EQ(Answer(newest), Registry(c.links - 1));
        // The base alone still holds the first answer: the chain is read, not its base.
        EXPECT_EQ(Answer(raws[0]), Registry(0));
        if (c.vbox != nullptr) {
            std::string middle = c.vbox;
            if (middle == "MIDDLE")
                middle = MiddleOf(newest).substr(dir.size() + 4);
            std::string machine = WriteVbox(dir, middle, newest);
            if (middle != c.vbox) {
                EXPECT_EQ(Answer(machine), Registry(c.links - 1));
            } else {
                EXPECT_NE(Answer(machine).find("has the parent " + MiddleOf(newest) +
                                               ", where the configuration records " + middle),
                          std::string::npos);
                RemoveTree(dir);
                continue;
            }
            setenv("DOROVIVI_SNAPSHOT", "First", 1);
            EXPECT_EQ(Answer(machine), Registry(0));
            setenv("DOROVIVI_SNAPSHOT", "Fifth", 1);
            EXPECT_NE(Answer(machine).find("Fifth"), std::string::npos); // named as not there
            unsetenv("DOROVIVI_SNAPSHOT");
        }
        // VHD: libvhdi flattens a partial sector run wrong (see below); its truth is the raw disk.
        std::string flat = dir + "/flat.raw";
        if (c.kind == ChainKind::Qcow2 || c.kind == ChainKind::Qcow2OverRaw || c.kind == ChainKind::Vmdk ||
            c.kind == ChainKind::Vhdx) {
            ASSERT_TRUE(FlattenChain(c.kind, newest, flat, &error)) << error;
            EXPECT_EQ(Answer(newest), Answer(flat));
        } else {
            EXPECT_EQ(Answer(newest), Answer(raws.back()));
        }
        RemoveTree(dir);
    }
}

} // namespace
