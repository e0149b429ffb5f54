// The Wine prefixes the Windows build runs in, the systems imported into
// them, and the runs of the tool there.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process_run.h"

// The directory DOROVIVI_WIN32_DIR names, "" when unset.
std::string Win32Dir();


// A throw-away prefix with its own persistent wineserver, so that the global
// atom table survives between the tool and the atom reader. Each is made on
// first use, once per run.
struct WinePrefix {
    const char *arch;
    // The regedit that writes as a 32-bit installer does, and whether the
    // prefix has a 64-bit view to write as well.
    const char *regedit32;
    bool wow64;
    std::vector<std::string> env;
    std::string dir;
    std::string lastRegistry, lastRegistry64; // what the previous scenario imported
    bool tried = false, ready = false;
};

extern WinePrefix Prefix32, Prefix64;

// The prefix, made if this is its first use; false when it cannot be made.
bool OpenPrefix(WinePrefix &prefix);

// Clears what the previous scenario imported, sets the Windows version Wine
// reports and imports this scenario's keys, as a 32-bit installer writes
// them, in one regedit run; in a win64 prefix a second import writes the
// keys of the 64-bit view.
void PrepareSystem(WinePrefix &prefix, const char *mode, const std::string &registry,
                   const std::string &registry64 = "");

ProcessResult RunTool(const WinePrefix &prefix, const std::vector<std::string> &args,
                      const std::vector<std::string> &extraEnv = {}, const std::string &errorPath = "");

// References the atom table holds for `name`; reading also removes them.
int TakeAtomReferences(const WinePrefix &prefix, const char *name);

// A skip, in SetUp, when there is no Windows build to run.
void SkipWithoutWindowsBuild();

// Tests that run the Windows build.
class WineBuildTest : public testing::Test {
protected:
    void SetUp() override { SkipWithoutWindowsBuild(); }
};
