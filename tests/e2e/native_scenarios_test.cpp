#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "native_run.h"

namespace {

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

} // namespace
