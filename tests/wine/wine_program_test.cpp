// The Windows build itself: what it imports, how it is linked, and how it
// splits its command line.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "process_run.h"
#include "wine_prefix.h"

namespace {

class WineProgram : public WineBuildTest {};


TEST_F(WineProgram, NeedsOnlyWhatWindows95AndNt351Export)
{
    std::string exe = Win32Dir() + "/dorovivi.exe";
    ProcessResult dump = RunProcess({"/usr/bin/env", "i686-w64-mingw32-objdump", "-p", exe}, {});
    ASSERT_EQ(dump.exitCode, 0);
    // "DLL Name: KERNEL32.dll" heads the list of that DLL's functions, one a
    // line as address, hint and name.
    std::vector<std::string> imports;
    std::istringstream lines(dump.output);
    std::string line, dll;
    while (std::getline(lines, line)) {
        std::size_t name = line.find("DLL Name: ");
        std::istringstream fields(line);
        std::string address, hint, function, extra;
        if (name != std::string::npos)
            dll = line.substr(name + 10);
        else if (!dll.empty() && line[0] == '\t' && fields >> address >> hint >> function && !(fields >> extra))
            imports.push_back(dll + "!" + function);
        else if (line.empty())
            dll.clear();
    }
    EXPECT_EQ(imports, (std::vector<std::string>{"ADVAPI32.dll!RegCloseKey", "ADVAPI32.dll!RegOpenKeyExA",
                                                 "ADVAPI32.dll!RegQueryValueExA", "KERNEL32.dll!ExitProcess",
                                                 "KERNEL32.dll!GetCommandLineA", "KERNEL32.dll!GetStdHandle",
                                                 "KERNEL32.dll!GetVersionExA", "KERNEL32.dll!GlobalAddAtomA",
                                                 "KERNEL32.dll!WriteFile"}));
    EXPECT_NE(dump.output.find("(PE32)"), std::string::npos);
    EXPECT_NE(dump.output.find("(Windows CUI)"), std::string::npos);
    // NT 3.51 loads no program that asks for a later subsystem.
    EXPECT_NE(dump.output.find("MajorSubsystemVersion\t3\n"), std::string::npos);
    EXPECT_LE(ReadFile(exe).size(), 16384u);
    ProcessResult symbols = RunProcess({"/usr/bin/env", "i686-w64-mingw32-objdump", "-t", exe}, {});
    EXPECT_NE(symbols.output.find("no symbols"), std::string::npos) << "not stripped";
}

// With no C runtime nothing would run a static constructor or catch an
// exception: the tool's code must need neither.
TEST_F(WineProgram, ToolCodeHasNoStaticConstructorsOrUnwindTables)
{
    ProcessResult sections = RunProcess({"/usr/bin/env", "i686-w64-mingw32-objdump", "-h",
                                         Win32Dir() + "/libdorovivi_tool.a", Win32Dir() + "/libdorovivi_windows.a"},
                                        {});
    ASSERT_EQ(sections.exitCode, 0);
    EXPECT_NE(sections.output.find(" .text "), std::string::npos);
    for (const char *section : {" .ctors ", " .eh_frame ", " .gcc_except_table "})
        EXPECT_EQ(sections.output.find(section), std::string::npos) << section;
}

// The tool's split of command lines against msvcrt's own, on the lines of
// the unit test's table.
TEST_F(WineProgram, SplitsCommandLinesAsMsvcrtDoes)
{
    ASSERT_TRUE(OpenPrefix(Prefix32));
    ProcessResult compare = RunProcess({"/usr/bin/env", "sh", "-c", "cd \"$0\" && exec wine \"$1\"", Prefix32.dir,
                                        Win32Dir() + "/crt_split_compare.exe"},
                                       Prefix32.env);
    EXPECT_EQ(compare.exitCode, 0) << compare.output;
}

} // namespace
