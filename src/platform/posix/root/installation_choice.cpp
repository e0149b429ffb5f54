#include "platform/posix/root/installation_choice.h"

#include <algorithm>

#include "platform/posix/root/boot_files.h"
#include "platform/posix/base/text_compare.h"

namespace {

const Volume *VolumeNumbered(const std::vector<Volume> &volumes, int disk, int partition, std::size_t &index)
{
    for (index = 0; index < volumes.size(); ++index) {
        // A directory root is the one volume every partition number on its disk names.
        if (volumes[index].disk == disk && (volumes[index].partition == partition || volumes[index].partition == 0))
            return &volumes[index];
    }
    return nullptr;
}

// The installation of `kind` in `relative` on the volume, when there is one.
bool InstallationAt(const std::vector<Volume> &volumes, std::size_t index, const std::string &relative,
                    InstallationKind kind, Candidate &found)
{
    std::string dir;
    std::vector<Candidate> there;
    if (index >= volumes.size() || !FindTreePath(*volumes[index].tree, "", relative, dir))
        return false;
    AddInstallationsIn(*volumes[index].tree, index, dir, there);
    for (const Candidate &one : there) {
        if (kind == InstallationKind::None || one.kind == kind) {
            found = one;
            return true;
        }
    }
    return false;
}

bool NamedBySetting(const std::vector<Volume> &volumes, const std::string &windir, Candidate &found)
{
    std::size_t index = 0;
    if (!volumes.empty() && volumes[0].partition == 0)
        return InstallationAt(volumes, 0, windir, InstallationKind::None, found);
    // A dynamic volume is named as Windows names it: "Volume1\WINNT".
    for (std::size_t index = 0; index < volumes.size(); ++index) {
        const std::string &name = volumes[index].dynamic;
        if (!name.empty() && windir.size() > name.size() && (windir[name.size()] == '\\' || windir[name.size()] == '/') &&
            RegNamesEqual(std::string_view(windir).substr(0, name.size()), name))
            return InstallationAt(volumes, index, windir.substr(name.size() + 1), InstallationKind::None, found);
    }
    int disk = 0, partition = 0;
    std::string path;
    return ParseArcName(windir, disk, partition, path) && VolumeNumbered(volumes, disk, partition, index) != nullptr &&
           InstallationAt(volumes, index, path, InstallationKind::None, found);
}

// boot.ini's default when it is an NT entry on this disk; MSDOS.SYS's
// directory on the active volume; "C:\" as boot.ini's default picks the
// latter where both name one.
bool NamedByBootFiles(const std::vector<Volume> &volumes, std::size_t active, Candidate &chosen, const char *&by,
                      std::vector<std::string> &notes)
{
    const FileTree &tree = *volumes[active].tree;
    BootConfig config = ReadBootConfig(tree);
    Candidate named9x, namedNt;
    std::size_t index = 0;
    std::string dir;
    if (config.hasWinDir && !FindTreePath(tree, "", config.winDir, dir))
        notes.push_back(tree.Describe(config.winDirFile) + ": WinDir=" + config.winDirAsWritten +
                        " names a Windows folder that is missing");
    bool has9x = config.hasWinDir && InstallationAt(volumes, active, config.winDir, InstallationKind::Windows9x, named9x);
    // rdisk(N) counts the machine's disks as its BIOS does, the boot disk first.
    bool hasNt = config.bootDefault == BootDefault::ArcPath &&
                 VolumeNumbered(volumes, config.arcDisk, config.arcPartition, index) != nullptr &&
                 InstallationAt(volumes, index, config.arcPath, InstallationKind::WindowsNt, namedNt);
    if (hasNt && (config.bootDefault == BootDefault::ArcPath || !has9x)) {
        chosen = namedNt;
        by = "boot.ini";
        return true;
    }
    if (has9x && (config.bootDefault == BootDefault::PreviousOs || !hasNt)) {
        chosen = named9x;
        by = "MSDOS.SYS";
        return true;
    }
    return false;
}

} // namespace

std::string InstallationName(const Volume &volume, const std::string &dir)
{
    std::string name;
    if (!volume.dynamic.empty())
        name = volume.dynamic + "\\";
    else if (volume.disk != 0)
        name = "rdisk(" + std::to_string(volume.disk) + ")";
    if (volume.partition > 0)
        name += "partition(" + std::to_string(volume.partition) + ")\\";
    name += dir.empty() && volume.partition == 0 ? "." : dir;
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

namespace {

Choice ChooseAmong(const std::vector<Volume> &volumes, std::size_t active, const std::string &windir)
{
    Choice choice;
    std::vector<Candidate> found;
    std::vector<HalfInstallation> half;
    for (std::size_t i = 0; i < volumes.size(); ++i)
        ScanForInstallations(*volumes[i].tree, i, found, &half);
    choice.found = found;
    // Also where the setting names none: the atom table stays off a Windows drive.
    choice.windowsFound = !found.empty() || !half.empty();
    if (!windir.empty()) {
        choice.chosen = NamedBySetting(volumes, windir, choice.one);
        choice.chosenBy = "DOROVIVI_WINDIR";
        choice.windowsFound = choice.windowsFound || choice.chosen;
        if (!choice.chosen)
            choice.problem = "DOROVIVI_WINDIR=" + windir + " names no Windows installation";
        return choice;
    }
    // A Windows directory given as the root is read as it is.
    bool rootIsWindows = !found.empty() && volumes[0].partition == 0 && found[0].dir.empty();
    if (!rootIsWindows && active < volumes.size() &&
        NamedByBootFiles(volumes, active, choice.one, choice.chosenBy, choice.notes)) {
        choice.chosen = true;
        choice.windowsFound = true;
        return choice;
    }
    // SYSTEM alone answers where it is all there is; beside the one whole
    // installation it is a leftover copy.
    auto whole = [](const Candidate &one) { return !one.softwareMissing; };
    auto only = found.size() == 1 ? found.begin() : std::find_if(found.begin(), found.end(), whole);
    if (found.size() == 1 || std::count_if(found.begin(), found.end(), whole) == 1) {
        choice.chosen = true;
        choice.one = *only;
        choice.chosenBy = "only";
        return choice;
    }
    if (found.empty() && !half.empty()) {
        for (const HalfInstallation &one : half)
            choice.problem += (choice.problem.empty() ? "" : "; ") + InstallationName(volumes[one.volume], one.config) +
                              " has SOFTWARE but no SYSTEM";
        return choice;
    }
    if (found.empty()) {
        choice.problem = volumes.size() == 1 && volumes[0].partition == 0
                             ? "no registry (HKLM.reg, a Windows directory with SYSTEM.DAT or system32/config/SYSTEM "
                               "and SOFTWARE)"
                             : "no Windows installation (SYSTEM.DAT, or system32\\config\\SYSTEM and SOFTWARE) on its "
                               "file systems";
        return choice;
    }
    std::sort(found.begin(), found.end(), [](const Candidate &a, const Candidate &b) {
        return a.volume != b.volume ? a.volume < b.volume : a.dir < b.dir;
    });
    std::vector<std::string> names;
    for (const Candidate &one : found)
        names.push_back(InstallationName(volumes[one.volume], one.dir));
    names.erase(std::unique(names.begin(), names.end()), names.end());
    choice.problem = "several Windows installations and no boot configuration names one:";
    for (std::size_t i = 0; i < names.size(); ++i)
        choice.problem += (i == 0 ? " " : ", ") + names[i];
    choice.problem += "; set DOROVIVI_WINDIR to one";
    return choice;
}

} // namespace

Choice ChooseInstallation(const std::vector<Volume> &volumes, std::size_t active, const std::string &windir)
{
    Choice choice = ChooseAmong(volumes, active, windir);
    if (choice.chosen) {
        choice.notes.insert(choice.notes.end(), choice.one.notes.begin(), choice.one.notes.end());
        return choice;
    }
    std::string before;
    for (const std::string &note : choice.notes)
        before += note + "; ";
    choice.problem.insert(0, before);
    choice.notes.clear();
    return choice;
}
