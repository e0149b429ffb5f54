#include "native_run.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// The keys as a 32-bit installer leaves them on 64-bit Windows: below
// Software\Wow6432Node (none of the scenarios' keys is one WOW64 shares).
std::string In32BitView(const std::string &registry)
{
    const std::string software = "[HKEY_LOCAL_MACHINE\\Software\\";
    std::string moved = registry;
    for (std::size_t at = moved.find(software); at != std::string::npos; at = moved.find(software, at + 1))
        moved.insert(at + software.size(), "Wow6432Node\\");
    return moved;
}

} // namespace

NativeRun RunNative(Family family, const std::string &registry, const std::vector<std::string> &args,
                    Form form, const ImageForm &image, const std::string &registry64, const DirtyHive *dirty)
{
    std::string root = MakeTempDir("dorovivi-e2e");
    bool wow64 = form == Form::RegFile64 || form == Form::DriveNt64 || form == Form::Image64;
    bool inImage = form == Form::Image || form == Form::Image64;
    bool regFile = form == Form::RegFile || form == Form::RegFile64;
    std::string file = "REGEDIT4\r\n" + VersionKeys(family, wow64) +
                       (wow64 ? In32BitView(registry) + registry64 : registry);
    std::string drive = inImage ? root + "/tree" : root;
    std::vector<std::string> env = {"DOROVIVI_ROOT=" + root};
    std::string atoms = root + "/atoms";
    if (regFile) {
        WriteFile(root + "/HKLM.reg", file);
    } else {
        mkdir(drive.c_str(), 0755);
        if (family == Family::Windows98)
            Write98Drive(drive, file);
        else
            WriteNtDrive(drive, file, dirty);
        std::string runtime = MakeTempDir("dorovivi-runtime");
        env.push_back("XDG_RUNTIME_DIR=" + runtime);
        atoms = runtime + "/dorovivi/atoms";
    }
    std::string watched = root; // what the run must leave as it was
    if (inImage) {
        // The drive is the first partition, the active one; the logical
        // layout adds an empty logical partition behind it.
        std::vector<ImagePartition> partitions = {FsPartition(image.fileSystem, drive, true)};
        if (image.layout == Layout::MbrLogical)
            partitions.push_back(FsPartition(FileSystem::Fat12, ""));
        watched = root + "/image";
        mkdir(watched.c_str(), 0755);
        std::string error;
        if (!image.chained) {
            env[0] = "DOROVIVI_ROOT=" +
                     WriteDiskImage(partitions, image.layout, image.container, watched, "disk", &error);
        } else {
            // The base holds the disk with its registry files' signatures
            // broken, an empty answer; the child holds the disk itself.
            std::vector<PlacedPartition> placed;
            std::string raw = root + "/disk.raw", base = root + "/base.raw";
            EXPECT_TRUE(WriteRawDisk(partitions, image.layout, raw, &placed, &error)) << error;
            std::string bytes = ReadFile(raw);
            for (const char *magic : {"regf", "CREG"})
                for (std::size_t at = bytes.find(magic); at != std::string::npos; at = bytes.find(magic, at + 4))
                    if (at % 512 == 0)
                        bytes.replace(at, 4, "xxxx");
            WriteFile(base, bytes);
            env[0] = "DOROVIVI_ROOT=" + WriteChain(image.chain, {base, raw}, watched, &error);
        }
        EXPECT_EQ(error, "");
    }
    std::string before = regFile ? "" : Snapshot(watched);
    std::vector<std::string> argv = {DOROVIVI_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string errors = MakeTempDir("dorovivi-stderr") + "/stderr";
    NativeRun run = {RunProcess(argv, env, errors, 60), "", ReadFile(errors)};
    EXPECT_FALSE(run.result.timedOut);
    run.atoms = ReadFile(atoms);
    // Run again, tracing to stderr, apart from the atom table.
    env.push_back("DOROVIVI_ATOMS=" + MakeTempDir("dorovivi-atoms") + "/atoms");
    if (!run.errors.empty()) {
        EXPECT_EQ(TracedStderrFault(argv, env, run.errors), "");
    }
    if (regFile)
        EXPECT_EQ(ReadFile(root + "/HKLM.reg"), file) << "the registry file must never change";
    else
        EXPECT_EQ(Snapshot(watched), before) << "nothing may change on a Windows drive or its image";
    if (inImage)
        RemoveTree(root);
    return run;
}
