// Chains of differencing disks, written here and then broken one way at a
// time: a missing or replaced parent, a loop, a parent found by another of
// its names, files only readable.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "chain_generations.h"
#include "chain_writer.h"
#include "differencing_writer.h"
#include "process_run.h"

namespace {

void RunShell(const std::string &command)
{
    EXPECT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
}

// The hex number after `key` ("CID=", "parentCID=") in a VMDK's descriptor, in 8 digits.
std::string DescriptorField(const std::string &vmdk, const std::string &key)
{
    std::string bytes = ReadFile(vmdk);
    std::size_t at = bytes.find("\n" + key);
    char text[16] = "?";
    if (at != std::string::npos)
        std::snprintf(text, sizeof text, "%08lx", std::strtoul(bytes.c_str() + at + 1 + key.size(), nullptr, 16));
    return text;
}

// Sets `key` ("parentCID=") in a VMDK's embedded descriptor; its padding keeps the file's layout.
void SetDescriptorField(const std::string &vmdk, const std::string &key, const std::string &value)
{
    std::string bytes = ReadFile(vmdk);
    std::size_t at = bytes.find("\n" + key) + 1 + key.size(), end = bytes.find('\n', at);
    ASSERT_TRUE(at > key.size() && end != std::string::npos) << vmdk << ": " << key;
    bytes.replace(at, end - at, value);
    std::size_t padding = bytes.find('\0', at), was = end - at;
    value.size() > was ? bytes.erase(padding, value.size() - was) : bytes.insert(padding, was - value.size(), '\0');
    WriteFile(vmdk, bytes);
}

// A chain broken in one way: the empty answer and a line naming the cause
// (whole where it starts "dorovivi: "), or, where the hypervisor would still
// find the parent, the child's answer.
TEST(DiskChain, BrokenChainsAreRefusedWithTheirCause)
{
    struct Case {
        const char *what;
        ChainKind kind;
        int links;
        // Breaks the chain in `dir`; "" when the chain must still answer.
        std::string (*breakChain)(const std::string &dir, const std::vector<std::string> &raws);
        bool asNobody = false;
    };
    const Case cases[] = {
        {"missing qcow2 backing file", ChainKind::Qcow2, 3,
         [](const std::string &dir, const std::vector<std::string> &) {
             unlink((dir + "/base.qcow2").c_str());
             return std::string("child1.qcow2: its parent 'base.qcow2' is missing (looked for " + dir + "/base.qcow2)");
         }},
        {"missing VDI parent", ChainKind::VdiDynamic, 2,
         [](const std::string &dir, const std::vector<std::string> &) {
             unlink((dir + "/VM/VM.vdi").c_str());
             return std::string("is missing (looked among the .vdi files of " + dir + "/VM/Snapshots and " + dir +
                                "/VM/Snapshots/..)");
         }},
        {"VHD parent replaced by another disk", ChainKind::Vhd, 2,
         [](const std::string &dir, const std::vector<std::string> &raws) {
             RunShell("qemu-img convert -f raw -O vpc " + raws[0] + " " + dir + "/base.vhd");
             return std::string("child1.vhd: its parent " + dir + "/base.vhd is another disk (VHD id ");
         }},
        {"VHDX parent replaced by another disk", ChainKind::Vhdx, 2,
         [](const std::string &dir, const std::vector<std::string> &raws) {
             RunShell("qemu-img convert -f raw -O vhdx " + raws[0] + " " + dir + "/base.vhdx");
             return std::string("child1.vhdx: its parent " + dir + "/base.vhdx is another disk (VHDX id {");
         }},
        {"VMDK parent replaced by another disk", ChainKind::Vmdk, 2,
         [](const std::string &dir, const std::vector<std::string> &raws) {
             RunShell("qemu-img convert -f raw -O vmdk " + raws[0] + " " + dir + "/base.vmdk");
             return std::string("child1.vmdk: its parent " + dir + "/base.vmdk is another disk (VMDK CID ");
         }},
        {"qcow2 chain looping", ChainKind::Qcow2, 3,
         [](const std::string &dir, const std::vector<std::string> &) {
             RunShell("ln -sf child2.qcow2 " + dir + "/base.qcow2");
             return std::string("the chain of parent disks loops back to " + dir + "/base.qcow2");
         }},
        {"VMDK delta link to a wrong parent whose chain loops: its CID is named", ChainKind::Vmdk, 3,
         [](const std::string &dir, const std::vector<std::string> &) {
             RunShell("ln -sf child2.vmdk " + dir + "/base.vmdk");
             return "dorovivi: " + dir + "/child2.vmdk: " + dir + "/child1.vmdk: its parent " + dir +
                    "/base.vmdk is another disk (VMDK CID " + DescriptorField(dir + "/child2.vmdk", "CID=") +
                    ", the child expects parentCID " + DescriptorField(dir + "/child1.vmdk", "parentCID=") +
                    "); reading an empty registry";
         }},
        {"VMDK delta links looping, each the disk its child expects", ChainKind::Vmdk, 3,
         [](const std::string &dir, const std::vector<std::string> &) {
             RunShell("ln -sf child2.vmdk " + dir + "/base.vmdk");
             SetDescriptorField(dir + "/child1.vmdk", "parentCID=", DescriptorField(dir + "/child2.vmdk", "CID="));
             return "dorovivi: " + dir + "/child2.vmdk: the chain of parent disks loops back to " + dir +
                    "/base.vmdk; reading an empty registry";
         }},
        {"VMDK delta link to a wrong parent whose own parent is missing", ChainKind::Vmdk, 3,
         [](const std::string &dir, const std::vector<std::string> &) {
             std::string parentCid = DescriptorField(dir + "/child2.vmdk", "parentCID=");
             RunShell("cd " + dir + " && qemu-img create -q -f vmdk gone.vmdk 4M && qemu-img create -q -f vmdk -b "
                      "gone.vmdk -F vmdk child1.vmdk && rm gone.vmdk");
             return "dorovivi: " + dir + "/child2.vmdk: its parent " + dir + "/child1.vmdk is another disk (VMDK CID " +
                    DescriptorField(dir + "/child1.vmdk", "CID=") + ", the child expects parentCID " + parentCid +
                    "); reading an empty registry";
         }},
        // A single-file sparse VMDK is its own extent, whatever its embedded descriptor calls it.
        {"renamed single-file VMDK as a parent reads as itself", ChainKind::Vmdk, 2,
         [](const std::string &dir, const std::vector<std::string> &) {
             RunShell("mv " + dir + "/base.vmdk " + dir + "/bass.vmdk");
             SetDescriptorField(dir + "/child1.vmdk", "parentFileNameHint=", "\"bass.vmdk\"");
             return std::string();
         }},
        // The reader opens no file an image may not name, though this machine holds one there.
        {"VMDK parent in a folder below the child's", ChainKind::Vmdk, 2,
         [](const std::string &dir, const std::vector<std::string> &) {
             RunShell("mkdir " + dir + "/below && mv " + dir + "/base.vmdk " + dir + "/below/");
             SetDescriptorField(dir + "/child1.vmdk", "parentFileNameHint=", "\"" + dir + "/below/base.vmdk\"");
             return dir + "/below/base.vmdk (not opened: an image's files are read from its folder and the one above it)";
         }},
        // This libvmdk reads past a name whose folder part is longer than the rest.
        {"VMDK descriptor under a sector naming its extent with a folder", ChainKind::Vmdk, 2,
         [](const std::string &dir, const std::vector<std::string> &) {
             RunShell("printf '# Disk DescriptorFile\\nparentCID=ffffffff\\n# Extent description\\nRW 8 FLAT "
                      "\"ddddddddddddddddddd/base.vmdk\" 0\\n# The Disk Data Base\\nddb.virtualHWVersion = \"4\"\\n' | tee " +
                      dir + "/child1.vmdk");
             return "dorovivi: " + dir + "/child1.vmdk: its extent 'ddddddddddddddddddd/base.vmdk' is named with a "
                    "folder; an extent is read by its name alone, from the descriptor's folder; reading an empty registry";
         }},
        {"missing VHDX parent: plain paths", ChainKind::Vhdx, 2,
         [](const std::string &dir, const std::vector<std::string> &) {
             unlink((dir + "/base.vhdx").c_str());
             return "dorovivi: " + dir + "/child1.vhdx: its parent '.\\base.vhdx' or '\\\\?\\C:\\Hyper-V\\Old PC\\"
                    "base.vhdx' is missing (looked for " + dir + "/base.vhdx); reading an empty registry";
         }},
        {"VHD parent named by its header alone", ChainKind::Vhd, 2,
         [](const std::string &dir, const std::vector<std::string> &raws) {
             std::string error;
             EXPECT_TRUE(WriteDifferencingVhd(dir + "/base.vhd", raws[0], raws[1], {"", "", "base.vhd"},
                                              dir + "/child1.vhd", &error)) << error;
             return std::string();
         }},
        {"VHD parent found by the last component of its Windows path", ChainKind::Vhd, 2,
         [](const std::string &dir, const std::vector<std::string> &raws) {
             std::string error;
             EXPECT_TRUE(WriteDifferencingVhd(dir + "/base.vhd", raws[0], raws[1], {"", "C:\\VMs\\Old PC\\base.vhd"},
                                              dir + "/child1.vhd", &error)) << error;
             return std::string();
         }},
        {"VHDX parent found by the last component of its long-path form", ChainKind::Vhdx, 2,
         [](const std::string &dir, const std::vector<std::string> &raws) {
             std::string error;
             EXPECT_TRUE(WriteDifferencingVhdx(dir + "/base.vhdx", raws[0], raws[1],
                                               {"", "\\\\?\\D:\\Hyper-V\\base.vhdx"}, dir + "/child1.vhdx", &error))
                 << error;
             return std::string();
         }},
        {"0444 files read by nobody", ChainKind::VdiDynamic, 3,
         [](const std::string &dir, const std::vector<std::string> &) {
             RunShell("chmod 0755 " + dir + " && find " + dir + "/VM -type f -exec chmod 0444 {} +");
             return std::string();
         },
         true},
        {"0444 qcow2 chain read by nobody", ChainKind::Qcow2, 3,
         [](const std::string &dir, const std::vector<std::string> &) {
             RunShell("chmod 0755 " + dir + " && chmod 0444 " + dir + "/*.qcow2");
             return std::string();
         },
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string dir = MakeTempDir("dorovivi-broken"), error;
        std::vector<std::string> raws = WriteGenerations(dir, c.links);
        std::string newest = WriteChain(c.kind, raws, dir, &error);
        ASSERT_NE(newest, "") << error;
        std::string problem = c.breakChain(dir, raws);
        if (c.asNobody) {
            pid_t child = fork();
            if (child == 0) {
                _exit(setgid(65534) != 0 || setuid(65534) != 0 ? 2 : Answer(newest) == Registry(c.links - 1) ? 0 : 1);
            }
            int status = -1;
            waitpid(child, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        } else if (problem.empty()) {
            EXPECT_EQ(Answer(newest), Registry(c.links - 1));
        } else if (problem.compare(0, 10, "dorovivi: ") == 0) { // the line as printed, its prefix said by the writer
            EXPECT_EQ(Answer(newest), "none: " + problem.substr(10));
        } else {
            std::string answer = Answer(newest);
            EXPECT_NE(answer.find(problem), std::string::npos) << answer;
            EXPECT_EQ(answer.find('\n'), std::string::npos) << answer;
        }
        RemoveTree(dir);
    }
}

} // namespace
