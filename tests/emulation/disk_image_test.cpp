// An installation read straight out of a disk image: what libtsk 4.11.1 and
// libqcow are relied on for (containers found by content, split and E01
// segments found from the first, MBR chains and GPT, FAT) and the choice
// rules as they apply to a disk. Images are written here with mkfs.fat,
// mtools, sfdisk, qemu-img and ewfacquire; none is kept.
#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/posix/root/image_root.h"
#include "process_run.h"
#include "registry_files.h"

namespace {

struct File {
    std::string path, content; // a path ending in '/' is a directory
};

// A partition: a FAT file system ("12", "16", "32") holding `files`, or, with
// fat "", `size` sectors of other bytes under MBR type `type`.
struct Part {
    std::string fat;
    std::vector<File> files;
    bool bootable = false;
    int type = 6;
    unsigned sectors = 8192;
};

std::string Dir()
{
    static std::string dir;
    if (dir.empty())
        dir = MakeTempDir("dorovivi-image");
    return dir;
}

// The tool's own words go to stderr when it fails, so a failing row says why.
bool RunTool(const std::string &command)
{
    std::string log = Dir() + "/tool.log";
    bool ran = std::system(("MTOOLS_SKIP_CHECK=1 " + command + " >'" + log + "' 2>&1").c_str()) == 0;
    if (!ran && std::system(("cat '" + log + "' >&2").c_str()) != 0)
        std::fprintf(stderr, "%s failed, and so did showing its output\n", command.c_str());
    return ran;
}

std::string Quote(const std::string &text)
{
    return "'" + text + "'";
}

// A FAT file system of `sectors` in a file, filled with `files`.
bool WriteFat(const Part &part, const std::string &path)
{
    std::string host = path + ".tree";
    mkdir(host.c_str(), 0755);
    for (const File &f : part.files) {
        for (std::size_t cut = f.path.find('/'); cut != std::string::npos; cut = f.path.find('/', cut + 1))
            mkdir((host + "/" + f.path.substr(0, cut)).c_str(), 0755);
        if (f.path.back() != '/')
            std::ofstream(host + "/" + f.path, std::ios::binary) << f.content;
    }
    return RunTool("mkfs.fat -F " + part.fat + " -s 1 -C " + Quote(path) + " " + std::to_string(part.sectors / 2)) &&
           (part.files.empty() || RunTool("mcopy -s -i " + Quote(path) + " " + Quote(host) + "/* ::"));
}

// A raw disk: "bare" (the first part alone), "dos" (primaries, and with
// `logicalFrom` > 0 the parts from there on as logicals) or "gpt".
std::string WriteDisk(const std::string &name, const std::string &label, const std::vector<Part> &parts,
                      std::size_t logicalFrom = 0)
{
    std::string disk = Dir() + "/" + name;
    if (label == "bare")
        return WriteFat(parts[0], disk) ? disk : "";
    std::ostringstream table;
    table << "label: " << label << "\n";
    unsigned start = 2048, total = 2048;
    for (const Part &p : parts)
        total += p.sectors + 2048;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (logicalFrom != 0 && i == logicalFrom) {
            table << "start=" << start << ", type=5\n";
            start += 64;
        }
        table << "start=" << start << ", size=" << parts[i].sectors << ", type="
              << (label == "gpt" ? std::string("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7") : std::to_string(parts[i].type))
              << (parts[i].bootable ? ", bootable" : "") << "\n";
        std::string content = disk + ".part" + std::to_string(i);
        if (!parts[i].fat.empty() ? !WriteFat(parts[i], content)
                                  : !(std::ofstream(content) << std::string(parts[i].sectors * 512, '\xf6')))
            return "";
        if (!RunTool("truncate -s " + std::to_string(total * 512ULL) + " " + Quote(disk)) ||
            !RunTool("dd if=" + Quote(content) + " of=" + Quote(disk) + " bs=512 seek=" + std::to_string(start) +
                 " conv=notrunc"))
            return "";
        start += parts[i].sectors + 2048;
    }
    std::ofstream(disk + ".sfdisk") << table.str();
    return RunTool("sfdisk -q " + Quote(disk) + " < " + Quote(disk + ".sfdisk")) ? disk : "";
}

// The raw disk in another container; the path to name as the root.
std::string Convert(const std::string &raw, const std::string &container)
{
    std::string out = raw + "." + container;
    if (container == "raw")
        return raw;
    if (container == "split") // 64 KiB segments: every file lies past the first
        return RunTool("split -b 64K -d -a 3 --numeric-suffixes=1 " + Quote(raw) + " " + Quote(raw + ".")) ? raw + ".001"
                                                                                                         : "";
    if (container == "E01")
        return RunTool("ewfacquire -u -t " + Quote(raw + ".ewf") + " -S 1048576 -c none " + Quote(raw)) ? raw + ".ewf.E01"
                                                                                                    : "";
    const char *options = container == "vhd-fixed"   ? "-O vpc -o subformat=fixed"
                          : container == "vhd"       ? "-O vpc"
                          : container == "vmdk"      ? "-O vmdk"
                          : container == "vmdk-flat" ? "-O vmdk -o subformat=monolithicFlat"
                          : container == "qcow2-v2"  ? "-O qcow2 -o compat=0.10"
                          : container == "vhdx"      ? "-O vhdx"
                          : container == "vhdx-fixed" ? "-O vhdx -o subformat=fixed"
                          : container == "vdi"       ? "-O vdi"
                          : container == "vdi-fixed" ? "-O vdi -o static=on"
                                                     : "-O qcow2 -o compat=1.1";
    return RunTool(std::string("qemu-img convert -f raw ") + options + " " + Quote(raw) + " " + Quote(out)) ? out : "";
}

off_t FileSize(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

const std::string Dat98 = "CREG 98 registry";
const std::string HiveSystem = "regf system", HiveSoftware = "regf software";
const std::string BootNt2 = "[boot loader]\r\ndefault=multi(0)disk(0)rdisk(0)partition(2)\\WINNT\r\n";

std::vector<File> Win98(const std::string &dir)
{
    return {{dir + "/SYSTEM.DAT", Dat98}};
}

std::vector<File> WinNt(const std::string &dir)
{
    return {{dir + "/SYSTEM32/CONFIG/SYSTEM", HiveSystem}, {dir + "/SYSTEM32/CONFIG/SOFTWARE", HiveSoftware}};
}

std::vector<File> operator+(std::vector<File> a, const std::vector<File> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Part Fat(const std::string &fat, const std::vector<File> &files, bool bootable = false)
{
    Part p;
    p.fat = fat;
    p.files = files;
    p.bootable = bootable;
    p.sectors = fat == "12" ? 2048 : fat == "16" ? 8192 : 70000; // what each takes with one sector a cluster
    return p;
}

Part Other(int type)
{
    Part p;
    p.type = type;
    p.sectors = 512;
    return p;
}

// Whether the image child, or any, is still there, even as a zombie.
bool ChildrenLeft()
{
    return !(waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD);
}

TEST(DiskImage, InstallationAsTheDiskNamesIt)
{
    // Room for a file past the first 64 KiB of the disk.
    const File filler = {"FILLER.BIN", std::string(96 * 1024, 'f')};
    struct Case {
        const char *what;
        std::string label;
        std::vector<Part> parts;
        std::size_t logicalFrom;
        std::string container, windir;
        InstallationKind kind;
        std::string registry; // after "<image>: "; for a refusal, what the problem holds
        std::string systemLogs = ""; // their bytes, one after the other
    };
    const Case cases[] = {
        {"bare FAT12", "bare", {Fat("12", Win98("WINDOWS"))}, 0, "raw", "", InstallationKind::Windows9x,
         "partition(1)\\WINDOWS\\SYSTEM.DAT"},
        {"MBR FAT16, NT on the second, boot.ini on the first names it", "dos",
         {Fat("16", {{"BOOT.INI", BootNt2}}, true), Fat("16", WinNt("WINNT"))}, 0, "raw", "", InstallationKind::WindowsNt,
         "partition(2)\\WINNT\\SYSTEM32\\CONFIG\\SYSTEM"},
        {"two installations, nothing names one", "dos", {Fat("16", Win98("WIN98")), Fat("16", WinNt("WINNT"))}, 0, "raw",
         "", InstallationKind::None, "names one: partition(1)\\WIN98, partition(2)\\WINNT; set DOROVIVI_WINDIR to one"},
        {"DOROVIVI_WINDIR wins over boot.ini", "dos",
         {Fat("16", std::vector<File>{{"boot.ini", BootNt2}} + Win98("WIN98"), true), Fat("16", WinNt("WINNT"))}, 0,
         "raw", "partition(1)\\win98", InstallationKind::Windows9x, "partition(1)\\WIN98\\SYSTEM.DAT"},
        {"DOROVIVI_WINDIR names nothing", "dos", {Fat("16", WinNt("WINNT"))}, 0, "raw", "partition(2)\\WINNT",
         InstallationKind::None, "DOROVIVI_WINDIR=partition(2)\\WINNT names no Windows installation"},
        {"the bootable partition's MSDOS.SYS decides", "dos",
         {Fat("12", Win98("WINDOWS")), Fat("12", std::vector<File>{{"MSDOS.SYS", "[Paths]\r\nWinDir=C:\\WIN98\r\n"}} +
                                                     Win98("WIN98") + Win98("OTHER"), true)},
         0, "raw", "", InstallationKind::Windows9x, "partition(2)\\WIN98\\SYSTEM.DAT"},
        {"logicals count after the primaries, other types count too", "dos",
         {Other(7), Fat("12", {}), Fat("16", WinNt("WINNT"))}, 1, "raw", "partition(3)\\WINNT",
         InstallationKind::WindowsNt, "partition(3)\\WINNT\\SYSTEM32\\CONFIG\\SYSTEM"},
        {"no file system but another type", "dos", {Other(7)}, 0, "raw", "", InstallationKind::None,
         "partition(1) (NTFS / exFAT (0x07)): no FAT or NTFS file system read there"},
        {"GPT, entries in order", "gpt", {Fat("12", {}), Fat("12", Win98("WINDOWS"))}, 0, "raw", "",
         InstallationKind::Windows9x, "partition(2)\\WINDOWS\\SYSTEM.DAT"},
        {"NT without SOFTWARE", "dos", {Fat("16", {{"WINNT/SYSTEM32/CONFIG/SYSTEM", HiveSystem}})}, 0, "raw", "",
         InstallationKind::None, ": partition(1)\\WINNT\\SYSTEM32\\CONFIG has SYSTEM but no SOFTWARE; reading"},
        {"FAT32, logs beside the hive", "dos",
         {Fat("32", WinNt("WINDOWS") + std::vector<File>{{"WINDOWS/SYSTEM32/CONFIG/SYSTEM.LOG2", "log two"},
                                                         {"WINDOWS/SYSTEM32/CONFIG/SYSTEM.LOG1", "log one"}})},
         0, "raw", "", InstallationKind::WindowsNt, "partition(1)\\WINDOWS\\SYSTEM32\\CONFIG\\SYSTEM", "log onelog two"},
    };
    const char *containers[] = {"split", "E01",   "vhd-fixed", "vhd",       "vmdk", "vmdk-flat", "qcow2-v2",
                                "qcow2-v3", "vhdx", "vhdx-fixed", "vdi", "vdi-fixed"};
    std::vector<Case> all(std::begin(cases), std::end(cases));
    for (const char *container : containers) // every container carries the first row, its file past 64 KiB
        all.push_back({container, "bare", {Fat("12", std::vector<File>{filler} + Win98("WINDOWS"))}, 0, container, "",
                       InstallationKind::Windows9x, "partition(1)\\WINDOWS\\SYSTEM.DAT"});
    int number = 0;
    for (const Case &c : all) {
        SCOPED_TRACE(c.what);
        std::string raw = WriteDisk("disk" + std::to_string(++number), c.label, c.parts, c.logicalFrom);
        ASSERT_FALSE(raw.empty());
        std::string image = Convert(raw, c.container);
        ASSERT_FALSE(image.empty());
        {
            Installation found = FindInDiskImage(image, c.windir);
            EXPECT_EQ(found.kind, c.kind) << found.problem;
            EXPECT_TRUE(found.windowsFound); // the atom table stays off an image
            EXPECT_EQ(ChildrenLeft(), c.kind != InstallationKind::None); // serving the files it found, if any
            if (c.kind == InstallationKind::None) {
                EXPECT_NE(found.problem.find(c.registry), std::string::npos) << found.problem;
                EXPECT_EQ(found.problem.rfind("dorovivi: " + image + ": ", 0), 0u) << found.problem;
                EXPECT_FALSE(found.registry.Open());
                continue;
            }
            EXPECT_EQ(found.registry.name, image + ": " + c.registry);
            EXPECT_EQ(ReadRegistryFile(found.registry), c.kind == InstallationKind::Windows9x ? Dat98 : HiveSystem);
            EXPECT_EQ(found.software.Open(), c.kind == InstallationKind::WindowsNt);
            EXPECT_EQ(ReadRegistryFile(found.software), c.kind == InstallationKind::WindowsNt ? HiveSoftware : "");
            std::string logs;
            for (const RegistryFile &log : found.systemLogs)
                logs += ReadRegistryFile(log);
            EXPECT_EQ(logs, c.systemLogs);
        }
        EXPECT_FALSE(ChildrenLeft());
    }
}

TEST(DiskImage, DamageGivesOneLineNamingTheImage)
{
    std::string raw = WriteDisk("damaged", "bare", {Fat("12", Win98("WINDOWS"))});
    ASSERT_FALSE(raw.empty());
    std::string backed = raw + ".backed.qcow2";
    ASSERT_TRUE(RunTool("qemu-img create -f qcow2 -F raw -b " + Quote(raw) + " " + Quote(backed)));
    std::string half = Convert(raw, "qcow2-v3");
    ASSERT_FALSE(half.empty());
    ASSERT_EQ(truncate(half.c_str(), FileSize(half) / 2), 0);
    // The logical partition's boot record links back to itself; Windows
    // lives on the primary, which stays readable.
    std::string looped = WriteDisk("looped", "dos", {Fat("12", Win98("WINDOWS")), Fat("12", {})}, 1);
    ASSERT_FALSE(looped.empty());
    {
        std::fstream disk(looped, std::ios::in | std::ios::out | std::ios::binary);
        unsigned char slot[16];
        disk.seekg(446 + 16);
        disk.read(reinterpret_cast<char *>(slot), sizeof slot);
        std::uint64_t extended = slot[8] | slot[9] << 8 | slot[10] << 16 | static_cast<std::uint64_t>(slot[11]) << 24;
        disk.seekp(static_cast<std::streamoff>(extended * 512 + 446 + 16));
        disk.write("\0\0\0\0\x05\0\0\0\0\0\0\0\0\x10\0\0", 16);
    }
    // A dynamic VHD whose footer at the end is gone (its copy at the start stays).
    std::string footless = Convert(raw, "vhd");
    ASSERT_FALSE(footless.empty());
    ASSERT_EQ(truncate(footless.c_str(), FileSize(footless) - 512), 0);
    // An E01 whose second segment is gone: the first ends with a link to it.
    std::string big = WriteDisk("segments", "bare", {Fat("16", Win98("WINDOWS"))});
    std::string segmented = Convert(big, "E01");
    ASSERT_FALSE(segmented.empty());
    std::string second = segmented.substr(0, segmented.size() - 2) + "02";
    ASSERT_EQ(unlink(second.c_str()), 0);
    std::string encrypted = Dir() + "/encrypted.qcow2";
    ASSERT_TRUE(RunTool("qemu-img create -q -f qcow2 --object secret,id=key,data=secret -o "
                        "encrypt.format=luks,encrypt.key-secret=key " + Quote(encrypted) + " 4M"));
    std::string empty = Dir() + "/empty.img", noise = Dir() + "/noise.img";
    std::ofstream{empty};
    std::ofstream{noise} << std::string(100000, '\x5a');
    struct Case {
        std::string image, problem;
    } cases[] = {
        {empty, "empty file"},
        {noise, "no partition table and no FAT or NTFS file system"},
        {half, "qcow2 image cut short or damaged (its tables point past the end of the file)"},
        {encrypted, "encrypted qcow2 image, which is not read"},
        {footless, "dynamic VHD without its footer at the end of the file (cut short or damaged)"},
        {segmented, "E01 image whose segment " + second + " is missing (the ones before it end with a link to it)"},
    };
    for (const Case &c : cases) {
        Installation found = FindInDiskImage(c.image, "");
        EXPECT_EQ(found.kind, InstallationKind::None);
        EXPECT_EQ(found.problem, "dorovivi: " + c.image + ": " + c.problem + "; reading an empty registry");
    }
    // Damage beside the installation, and a qcow2 over a raw disk, still answer.
    for (const std::string &readable : {looped, backed}) {
        Installation found = FindInDiskImage(readable, "");
        EXPECT_EQ(found.kind, InstallationKind::Windows9x) << found.problem;
    }
    Installation found;
    // A split image without the segment where SYSTEM.DAT starts, nor any after.
    std::size_t at = ReadFile(big).find("CREG");
    ASSERT_NE(at, std::string::npos);
    std::size_t segment = at / 2 / 512 * 512;
    ASSERT_GT(segment, 0u);
    ASSERT_TRUE(RunTool("split -b " + std::to_string(segment) + " -d -a 3 --numeric-suffixes=1 " + Quote(big) + " " +
                        Quote(big + ".")));
    std::string split = big + ".001";
    char gone[32];
    std::snprintf(gone, sizeof gone, ".%03zu", at / segment + 1);
    for (std::size_t n = at / segment + 1;; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, ".%03zu", n);
        if (unlink((big + name).c_str()) != 0)
            break;
    }
    found = FindInDiskImage(split, "");
    EXPECT_NE(found.problem.find("cut short"), std::string::npos) << found.problem;
    EXPECT_NE(found.problem.find("(the split image has no segment " + big + gone + ")"), std::string::npos)
        << found.problem;
}

// Run only as the child of the test below: writes an image, says where, and
// keeps the registry file found in it to the end, as the program does.
TEST(DiskImage, DISABLED_WritesAnImageAndSaysWhere)
{
    std::string image = WriteDisk("one.img", "bare", {Fat("12", Win98("WINDOWS"))});
    ASSERT_NE(image, "");
    static Installation &kept = *new Installation(FindInDiskImage(image, "")); // never destroyed
    ASSERT_TRUE(kept.registry.Open()) << kept.problem;
    std::printf("images in %s\n", Dir().c_str());
}

// Images go when the run that wrote them ends, whichever tests it ran and in
// whatever order: a run of this program writes one, then it must be gone.
TEST(DiskImage, ImagesGoWhenTheirRunEnds)
{
    if (std::getenv("DOROVIVI_KEEP_TEMP") != nullptr)
        GTEST_SKIP() << "DOROVIVI_KEEP_TEMP keeps them";
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    self[length] = '\0';
    // The image child of that run is orphaned to this process if the run
    // leaves it behind.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    ProcessResult run = RunProcess(
        {self, "--gtest_also_run_disabled_tests", "--gtest_filter=DiskImage.DISABLED_WritesAnImageAndSaysWhere"}, {},
        "", 300);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::size_t at = run.output.find("images in /");
    ASSERT_NE(at, std::string::npos) << run.output;
    at += 10;
    const std::string dir = run.output.substr(at, run.output.find('\n', at) - at);
    struct stat st;
    EXPECT_NE(stat(dir.c_str(), &st), 0) << dir << " outlived its run";
    EXPECT_FALSE(ChildrenLeft()) << "the image child outlived its run";
}

} // namespace
