#include "wine_prefix.h"

#include <cstdlib>
#include <sstream>

std::string Win32Dir()
{
    const char *dir = std::getenv("DOROVIVI_WIN32_DIR");
    return dir != nullptr ? dir : "";
}

WinePrefix Prefix32 = {"win32", "regedit", false, {}, "", "", "", false, false};
WinePrefix Prefix64 = {"win64", "C:\\windows\\syswow64\\regedit.exe", true, {}, "", "", "", false, false};

// The prefix, made if this is its first use; false when it cannot be made.
bool OpenPrefix(WinePrefix &prefix)
{
    if (prefix.tried)
        return prefix.ready;
    prefix.tried = true;
    prefix.dir = MakeTempDir("dorovivi-wine");
    prefix.env = {"WINEPREFIX=" + prefix.dir + "/prefix", std::string("WINEARCH=") + prefix.arch, "WINEDEBUG=-all",
                  "WINEDLLOVERRIDES=mscoree,mshtml="};
    ProcessResult boot = RunProcess({"/usr/bin/env", "wineboot", "-i"}, prefix.env, prefix.dir + "/wineboot.log");
    EXPECT_EQ(boot.exitCode, 0) << "wineboot failed, see " << prefix.dir << "/wineboot.log";
    // wineboot's own server lingers while its helpers do; a -p started then
    // finds it, exits 2, and the atoms die with the old one. So wait it out.
    RunProcess({"/usr/bin/env", "wineserver", "-w"}, prefix.env);
    ProcessResult server = RunProcess({"/usr/bin/env", "wineserver", "-p"}, prefix.env);
    EXPECT_EQ(server.exitCode, 0) << "no persistent wineserver for " << prefix.dir;
    prefix.ready = boot.exitCode == 0 && server.exitCode == 0;
    if (prefix.ready && prefix.wow64) {
        // The emulation takes a 64-bit installation from this value; Wine
        // records it as 64-bit Windows does.
        ProcessResult arch = RunProcess({"/usr/bin/env", "wine", "reg", "query",
                                         "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment",
                                         "/v", "PROCESSOR_ARCHITECTURE"},
                                        prefix.env);
        EXPECT_NE(arch.output.find("AMD64"), std::string::npos) << arch.output;
    }
    return prefix.ready;
}

namespace {


// Ends the wineservers of the prefixes this run made and removes the
// prefixes (a win64 one is large); the logs beside them stay.
class WinePrefixes : public testing::Environment {
public:
    void TearDown() override
    {
        for (WinePrefix *prefix : {&Prefix32, &Prefix64}) {
            if (!prefix->tried)
                continue;
            RunProcess({"/usr/bin/env", "wineserver", "-k"}, prefix->env);
            RunProcess({"/bin/rm", "-rf", prefix->dir + "/prefix"}, {});
        }
    }
};

// Keys a scenario's file creates, so the next scenario can remove them.
std::string RemovalsOf(const std::string &registry)
{
    std::string removals;
    std::istringstream lines(registry);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("[HKEY_LOCAL_MACHINE\\", 0) == 0)
            removals += "[-" + line.substr(1) + "\n";
    }
    return removals;
}

// Imports `body` with the prefix's 32-bit regedit, or into the 64-bit view.
// The latter goes through reg's /reg:64: where both halves of Wine are
// installed, `wine` starts the 32-bit loader, which runs even
// C:\windows\regedit.exe as its own 32-bit regedit, into Wow6432Node.
void Import(const WinePrefix &prefix, bool view64, const std::string &body, const char *name)
{
    std::string path = prefix.dir + "/" + name;
    WriteFile(path, "REGEDIT4\r\n\r\n" + body);
    std::vector<std::string> argv = {"/usr/bin/env", "wine", prefix.regedit32, "/S", path};
    if (view64)
        argv = {"/usr/bin/env", "wine", "reg", "import", path, "/reg:64"};
    ASSERT_EQ(RunProcess(argv, prefix.env).exitCode, 0) << argv[2];
}

} // namespace

// Clears what the previous scenario imported, sets the Windows version Wine
// reports and imports this scenario's keys, as a 32-bit installer writes
// them, in one regedit run; in a win64 prefix a second import writes the
// keys of the 64-bit view.
void PrepareSystem(WinePrefix &prefix, const char *mode, const std::string &registry,
                   const std::string &registry64)
{
    ASSERT_TRUE(OpenPrefix(prefix));
    Import(prefix, false,
           RemovalsOf(prefix.lastRegistry) + "\r\n[HKEY_CURRENT_USER\\Software\\Wine]\r\n" + "\"Version\"=\"" +
               mode + "\"\r\n" + registry,
           "scenario.reg");
    prefix.lastRegistry = registry;
    if (prefix.wow64 && !(registry64.empty() && prefix.lastRegistry64.empty())) {
        Import(prefix, true, RemovalsOf(prefix.lastRegistry64) + registry64, "scenario64.reg");
        prefix.lastRegistry64 = registry64;
    }
}

ProcessResult RunTool(const WinePrefix &prefix, const std::vector<std::string> &args,
                      const std::vector<std::string> &extraEnv, const std::string &errorPath)
{
    std::vector<std::string> argv = {"/usr/bin/env", "wine", Win32Dir() + "/dorovivi.exe"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = prefix.env;
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    return RunProcess(argv, env, errorPath);
}

// References the atom table holds for `name`; reading also removes them.
int TakeAtomReferences(const WinePrefix &prefix, const char *name)
{
    ProcessResult count = RunProcess({"/usr/bin/env", "wine", Win32Dir() + "/atom_count.exe", name}, prefix.env);
    return count.exitCode == 0 ? std::atoi(count.output.c_str()) : -1;
}

void SkipWithoutWindowsBuild()
{
    if (Win32Dir().empty())
        GTEST_SKIP() << "DOROVIVI_WIN32_DIR not set: no Windows build to run";
}

// The prefixes are ended and removed once every test has run.
int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new WinePrefixes);
    return RUN_ALL_TESTS();
}
