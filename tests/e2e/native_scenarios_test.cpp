#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "chain_writer.h"
#include "disk_image_writer.h"
#include "process_run.h"
#include "scenarios.h"
#include "windows_drives.h"

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

// Each system is run as an emulation root's HKLM.reg, as the drive of an
// installation of its family, and as that drive inside a disk image; NT as
// 32-bit and as 64-bit Windows. The answers must not differ.
enum class Form { RegFile, Drive98, DriveNt, Image, RegFile64, DriveNt64, Image64 };

struct ImageForm {
    FileSystem fileSystem;
    Layout layout;
    Container container;
    bool chained = false; // instead of the container: the disk as the child of a chain of `chain`
    ChainKind chain = ChainKind::Qcow2;
};

struct FormedScenario {
    Scenario scenario;
    Form form;
    ImageForm image;
    bool dirty = false; // NT drive or image: the scenario's hive dirty, its keys only in the logs
    HiveLogKind logKind = HiveLogKind::OldSingle;
};

void PrintTo(const FormedScenario &s, std::ostream *os)
{
    *os << s.scenario.name;
}

std::string FormedName(const testing::TestParamInfo<FormedScenario> &info)
{
    const char *suffix[] = {"reg", "98drive", "ntdrive", "image", "reg64", "ntdrive64", "image64"};
    std::string name = ScenarioName({info.param.scenario, info.index});
    name = name + "_" + suffix[static_cast<int>(info.param.form)];
    const char *kinds[] = {"log", "log1log2", "entries"};
    if (info.param.dirty)
        name = name + "_dirty_" + kinds[static_cast<int>(info.param.logKind)];
    const ImageForm &image = info.param.image;
    if (info.param.form == Form::Image || info.param.form == Form::Image64)
        name = name + "_" + FileSystemName(image.fileSystem) + "_" + LayoutName(image.layout) + "_" +
               (image.chained ? ChainKindName(image.chain) : ContainerName(image.container));
    return name;
}

// 98 systems take the three FAT types in turn, NT ones NTFS every other time
// and FAT16 or FAT32 between. Each file system counts its own images from
// 9 times its index: nine running numbers n give every layout (n % 4) and
// container (n % 9) with that file system, and the four stretches together
// cover 0..35, every layout with every container. 64-bit systems go on
// NTFS, through the layouts and containers in turn. Each image runs again as
// the newest child of a chain, the chain kinds in turn. Every NT scenario
// runs once more with a dirty hive, as a drive and as an NTFS image in turn,
// the log kinds in turn.
std::vector<FormedScenario> AllFormedScenarios()
{
    const FileSystem fats[] = {FileSystem::Fat12, FileSystem::Fat16, FileSystem::Fat32};
    const Layout layouts[] = {Layout::Mbr, Layout::MbrLogical, Layout::Gpt, Layout::Bare};
    const Container containers[] = {Container::Raw,        Container::SplitRaw,   Container::VhdFixed,
                                    Container::VhdDynamic, Container::VmdkSparse, Container::VmdkFlat,
                                    Container::Qcow2V2,    Container::Qcow2V3,    Container::E01};
    const ChainKind chains[] = {ChainKind::Qcow2, ChainKind::Vmdk, ChainKind::VdiDynamic,
                                ChainKind::VdiFixed, ChainKind::Vhd, ChainKind::Vhdx, ChainKind::Qcow2OverRaw};
    const std::size_t chainKinds = sizeof chains / sizeof chains[0];
    int perFamily[2] = {0, 0}, perSystem[4] = {0, 0, 0, 0}, images64 = 0, dirty = 0;
    std::size_t chained = 0;
    std::vector<FormedScenario> all;
    for (const Scenario &s : AllScenarios()) {
        const ImageForm none = {FileSystem::Other, Layout::Bare, Container::Raw};
        if (RunsAs32Bit(s.family)) {
            all.push_back({s, Form::RegFile, none});
            if (s.family != Family::Unknown) {
                bool nt = s.family != Family::Windows98;
                all.push_back({s, nt ? Form::DriveNt : Form::Drive98, none});
                int turn = perFamily[nt]++;
                FileSystem system = !nt ? fats[turn % 3] : turn % 2 == 0 ? FileSystem::Ntfs : fats[1 + turn / 2 % 2];
                int n = 9 * static_cast<int>(system) + perSystem[static_cast<int>(system)]++;
                all.push_back({s, Form::Image, {system, layouts[n % 4], containers[n % 9]}});
                all.push_back({s, Form::Image, {system, layouts[n % 4], Container::Raw, true, chains[chained++ % chainKinds]}});
            }
        }
        if (RunsAs64Bit(s.family)) {
            all.push_back({s, Form::RegFile64, none});
            all.push_back({s, Form::DriveNt64, none});
            int n = images64++;
            all.push_back({s, Form::Image64, {FileSystem::Ntfs, layouts[n % 4], containers[n % 9]}});
            all.push_back({s, Form::Image64, {FileSystem::Ntfs, layouts[n % 4], Container::Raw, true, chains[chained++ % chainKinds]}});
        }
        if (s.family != Family::Windows98 && s.family != Family::Unknown) {
            bool wow64 = s.family == Family::WindowsNt64;
            Form form = dirty % 2 == 0 ? (wow64 ? Form::DriveNt64 : Form::DriveNt) : (wow64 ? Form::Image64 : Form::Image);
            all.push_back({s, form, {FileSystem::Ntfs, Layout::Mbr, Container::Raw}, true,
                           static_cast<HiveLogKind>(dirty % 3)});
            ++dirty;
        }
    }
    return all;
}

struct NativeRun {
    ProcessResult result;
    std::string atoms; // the atom table's content after the run
    std::string errors;
};

NativeRun RunNative(Family family, const std::string &registry, const std::vector<std::string> &args,
                    Form form = Form::RegFile, const ImageForm &image = {}, const std::string &registry64 = "",
                    const DirtyHive *dirty = nullptr)
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

class NativeScenario : public testing::TestWithParam<FormedScenario> {};

TEST_P(NativeScenario, AnswersAsDocumented)
{
    const Scenario &s = GetParam().scenario;
    const DirtyHive dirty = {GetParam().logKind};
    NativeRun run = RunNative(s.family, s.registry, s.args, GetParam().form, GetParam().image, s.registry64,
                              GetParam().dirty ? &dirty : nullptr);
    EXPECT_EQ(run.result.exitCode, s.exitCode);
    EXPECT_EQ(run.result.output, s.output);
    EXPECT_EQ(run.atoms, s.atom != nullptr ? std::string("1 ") + s.atom + "\n" : "");
    // Only a question the registry answers opens it.
    bool opened = s.args.size() == 1 && (s.args[0] == "H" || s.args[0] == "@");
    if (GetParam().dirty && opened) {
        EXPECT_EQ(run.errors.find("dorovivi: "), 0u) << run.errors;
        EXPECT_NE(run.errors.find(": dirty hive; replayed "), std::string::npos) << run.errors;
        EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << run.errors;
    } else {
        EXPECT_EQ(run.errors, "") << "a registry that reads fine gives no message";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, NativeScenario, testing::ValuesIn(AllFormedScenarios()), FormedName);

TEST(NativeOnly, UnknownFamilyFindsNoAdapter)
{
    using namespace scenario;
    NativeRun run = RunNative(Family::Unknown, Card98(CardOne, "Net\\0000", Adapter, "HomeNet") +
                                                   CardNt(1, Adapter, "NtNet"),
                              {"H"});
    EXPECT_EQ(run.result.exitCode, 2);
    EXPECT_EQ(run.result.output, "XXXXXX");
}

TEST(NativeOnly, AtomReferencesAccumulateAcrossRuns)
{
    std::string root = MakeTempDir("dorovivi-e2e");
    std::vector<std::string> env = {"DOROVIVI_ROOT=" + root};
    WriteFile(root + "/HKLM.reg", "REGEDIT4\r\n" + scenario::Companion("1"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(RunProcess({DOROVIVI_BINARY, "@"}, env).exitCode, 101);
    WriteFile(root + "/HKLM.reg", "REGEDIT4\r\n");
    EXPECT_EQ(RunProcess({DOROVIVI_BINARY, "@"}, env).exitCode, 100);
    EXPECT_EQ(ReadFile(root + "/atoms"), "3 PXM INSTALLED 1\n1 PXM INSTALLED 0\n");
}

TEST(NativeOnly, MissingOrUnwritableRootStillAnswers)
{
    std::vector<std::string> missing = {"DOROVIVI_ROOT=/nonexistent/dorovivi"};
    EXPECT_EQ(RunProcess({DOROVIVI_BINARY, "H"}, missing).output, "XXXXXX");
    EXPECT_EQ(RunProcess({DOROVIVI_BINARY, "@"}, missing).exitCode, 100);
}

TEST(NativeOnly, BundledExamplesAnswer)
{
    struct Case {
        const char *system;
        const char *command;
        int exitCode;
        const char *output;
    };
    const Case cases[] = {
        {"win98", "H", 0, "CampusNet"},
        {"win98", "@", 101, ""},
        {"nt", "H", 5, "LabNet"},
        {"nt", "@", 100, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.system) + " " + c.command);
        std::string root = MakeTempDir("dorovivi-example");
        WriteFile(root + "/HKLM.reg", ReadFile(std::string(DOROVIVI_EXAMPLES) + "/" + c.system + "/HKLM.reg"));
        ProcessResult result = RunProcess({DOROVIVI_BINARY, c.command}, {"DOROVIVI_ROOT=" + root});
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.output, c.output);
    }
}

} // namespace
