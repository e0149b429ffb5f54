#include "image_run.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "process_run.h"
#include "scenarios.h"
#include "windows_drives.h"

const char NtAnswer[] = "NtNet";


std::string Noise(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 16);
    }
    return bytes;
}

std::uint64_t Le(const std::string &bytes, std::uint64_t at, int size)
{
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::uint64_t>(i)]);
    return value;
}

std::string LeBytes(std::uint64_t value, int size)
{
    std::string bytes;
    for (int i = 0; i < size; ++i)
        bytes += static_cast<char>(value >> (8 * i));
    return bytes;
}

void CutAt(const std::string &path, std::uint64_t size)
{
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(size)), 0) << path;
}

std::string WriteNtTree(const std::string &dir)
{
    using namespace scenario;
    mkdir(dir.c_str(), 0755);
    WriteNtDrive(dir, "REGEDIT4\r\n" + VersionKeys(Family::WindowsNt) + CardNt(1, Adapter, NtAnswer));
    return dir;
}

ImageRun RunOverImage(const std::string &image, const std::string &dir, const std::vector<std::string> &args,
                      std::vector<std::string> env)
{
    // The table, its lock and stderr live beside `dir`, in a directory of their own.
    std::string outside = MakeTempDir("dorovivi-image-run");
    env.push_back("DOROVIVI_ROOT=" + image);
    env.push_back("DOROVIVI_ATOMS=" + outside + "/atoms");
    std::string before = Snapshot(dir), errors = outside + "/stderr";
    std::vector<std::string> argv = {DOROVIVI_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    ImageRun run = {RunProcess(argv, env, errors, 60), ReadFile(errors)};
    if (!run.errors.empty()) {
        EXPECT_EQ(TracedStderrFault(argv, env, run.errors), "");
    }
    RemoveTree(outside);
    EXPECT_FALSE(run.result.timedOut) << "no hang";
    EXPECT_EQ(Snapshot(dir), before) << "nothing is written to the image";
    return run;
}
