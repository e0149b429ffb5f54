// Chains of differencing disks: VM disks with snapshots, each chain written
// here with its base holding one SYSTEM.DAT and each child another; the
// answer through the chain is the newest child's, as the flattened disk
// gives it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chain_generations.h"
#include "chain_writer.h"
#include "process_run.h"

namespace {

TEST(DiskChain, TheNewestChildAnswersAsTheFlattenedDisk)
{
    struct Case {
        ChainKind kind;
        int links;
    } cases[] = {
        {ChainKind::Qcow2, 5}, {ChainKind::Qcow2, 17}, {ChainKind::Vmdk, 3}, {ChainKind::VdiDynamic, 3},
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
