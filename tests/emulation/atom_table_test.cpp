#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/posix/atoms/atom_table.h"
#include "process_run.h"

namespace {

TEST(AtomTable, CountsReferencesPerNameAndKeepsForeignLines)
{
    std::string table = MakeTempDir("dorovivi-atoms") + "/atoms";
    std::ofstream(table) << "7 Other Atom\nnot an atom line\n";

    EXPECT_EQ(AddAtomToTable(table, "PXM INSTALLED 1"), 0xC002);
    EXPECT_EQ(AddAtomToTable(table, "pxm installed 1"), 0xC002); // names compare without case
    EXPECT_EQ(AddAtomToTable(table, "Other Atom"), 0xC000);
    EXPECT_EQ(AddAtomToTable(table, "PXM INSTALLED 0"), 0xC003);
    EXPECT_EQ(ReadFile(table), "8 Other Atom\nnot an atom line\n2 PXM INSTALLED 1\n1 PXM INSTALLED 0\n");
}

TEST(AtomTable, RefusesWhatWindowsRefuses)
{
    std::string table = MakeTempDir("dorovivi-atoms") + "/atoms";
    EXPECT_EQ(AddAtomToTable(table, std::string(256, 'n').c_str()), 0);
    EXPECT_EQ(AddAtomToTable(table, ""), 0);
    EXPECT_EQ(AddAtomToTable(table, nullptr), 0);
    EXPECT_EQ(AddAtomToTable(table, std::string(255, 'n').c_str()), 0xC000);
    EXPECT_EQ(AddAtomToTable("/nonexistent-dir/atoms", "PXM INSTALLED 0"), 0);
}

TEST(AtomTable, TruncatedLastLineIsKeptAndCounted)
{
    std::string table = MakeTempDir("dorovivi-atoms") + "/atoms";
    std::ofstream(table) << "3 PXM INSTALLED 0";
    EXPECT_EQ(AddAtomToTable(table, "PXM INSTALLED 0"), 0xC000);
    EXPECT_EQ(ReadFile(table), "4 PXM INSTALLED 0\n");
}

TEST(AtomTable, ConcurrentAddsLoseNoReference)
{
    std::string table = MakeTempDir("dorovivi-atoms") + "/atoms";
    const int processes = 200;
    for (int i = 0; i < processes; ++i) {
        if (fork() == 0)
            _exit(AddAtomToTable(table, i % 2 ? "PXM INSTALLED 1" : "PXM INSTALLED 0") == 0 ? 1 : 0);
    }
    int failures = 0;
    for (int i = 0; i < processes; ++i) {
        int status = 0;
        wait(&status);
        failures += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(failures, 0);
    std::string text = ReadFile(table);
    EXPECT_NE(text.find("100 PXM INSTALLED 0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("100 PXM INSTALLED 1\n"), std::string::npos) << text;
}

} // namespace
