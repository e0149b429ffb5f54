#include "platform/posix/installation.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <vector>

#include "platform/posix/sources/reg_value_line.h"
#include "platform/posix/system_root.h"

namespace {

Installation SystemFound;
bool SystemLookedUp = false;

// MSDOS.SYS and boot.ini are a few hundred bytes; a bigger file is read only
// this far, which is ample for the lines that matter.
const std::size_t MaxBootFile = 16384;

bool IsDirectory(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A registry file in place; whether it can be read is the source's to say,
// so that a FIFO or a device there is named in its message.
bool IsFileEntry(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::string Join(const std::string &dir, std::string_view name)
{
    std::string path = dir;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

// The entry of `dir` named `name` in any case (copies of a FAT or NTFS drive
// keep whatever case the copying tool chose); an exact match wins.
bool FindEntry(const std::string &dir, std::string_view name, std::string &path)
{
    DIR *listing = opendir(dir.c_str());
    if (listing == nullptr)
        return false;
    std::string found;
    while (dirent *entry = readdir(listing)) {
        std::string_view entryName(entry->d_name);
        if (entryName == name) {
            found = entryName;
            break;
        }
        if (found.empty() && RegNamesEqual(entryName, name))
            found = entryName;
    }
    closedir(listing);
    if (found.empty())
        return false;
    path = Join(dir, found);
    return true;
}

// Follows a relative path with '\' or '/' between its parts, any case.
bool FindPath(const std::string &base, std::string_view relative, std::string &path)
{
    path = base;
    while (!relative.empty()) {
        std::size_t cut = relative.find_first_of("\\/");
        std::string_view part = relative.substr(0, cut);
        relative = cut == std::string_view::npos ? std::string_view() : relative.substr(cut + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == ".." || !FindEntry(path, part, path))
            return false;
    }
    return true;
}

// Reads the start of a boot configuration file. Opens without blocking, so
// that a FIFO or device in its place cannot stall the run.
bool ReadBootFile(const std::string &path, std::string &text)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    char buffer[MaxBootFile];
    std::size_t size = 0;
    bool whole = false;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        while (size < sizeof buffer) {
            ssize_t got = read(fd, buffer + size, sizeof buffer - size);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                whole = got == 0;
                break;
            }
            size += static_cast<std::size_t>(got);
        }
    }
    close(fd);
    if (size == sizeof buffer) {
        // Cut back to the last whole line rather than parse half a line.
        while (size > 0 && buffer[size - 1] != '\n')
            --size;
        whole = true;
    }
    text.assign(buffer, size);
    return whole;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// The value of `key` in `[section]` of an INI-style text, any case, CR LF or LF.
bool IniValue(std::string_view text, std::string_view section, std::string_view key, std::string &value)
{
    bool inSection = false;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.front() == '[') {
            std::size_t close = line.find(']');
            inSection = close != std::string_view::npos && RegNamesEqual(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        std::size_t equals = line.find('=');
        if (inSection && equals != std::string_view::npos && RegNamesEqual(Trim(line.substr(0, equals)), key)) {
            value = Trim(line.substr(equals + 1));
            return true;
        }
    }
    return false;
}

struct Candidate {
    InstallationKind kind;
    std::string dir;
    std::string registryFile;
    std::string softwareHive;
};

bool Holds9x(const std::string &dir, Candidate &found)
{
    std::string file;
    if (!FindPath(dir, "SYSTEM.DAT", file) || !IsFileEntry(file))
        return false;
    found = {InstallationKind::Windows9x, dir, file, ""};
    return true;
}

bool HoldsNt(const std::string &dir, Candidate &found)
{
    std::string config, system, software;
    if (!FindPath(dir, "system32\\config", config) || !FindEntry(config, "SYSTEM", system) ||
        !FindEntry(config, "SOFTWARE", software) || !IsFileEntry(system) || !IsFileEntry(software))
        return false;
    found = {InstallationKind::WindowsNt, dir, system, software};
    return true;
}

void AddInstallationsIn(const std::string &dir, std::vector<Candidate> &found)
{
    Candidate one;
    if (Holds9x(dir, one))
        found.push_back(one);
    if (HoldsNt(dir, one))
        found.push_back(one);
}

// A path from a boot file, relative to the drive: "C:\WIN98" and "\WIN98"
// both give "WIN98".
std::string_view DriveRelative(std::string_view path)
{
    if (path.size() >= 2 && path[1] == ':')
        path.remove_prefix(2);
    return path;
}

// The installation the boot configuration names, if it names one that is there.
bool NamedInstallation(const std::string &root, Candidate &chosen)
{
    std::string file, text, value, dir;
    Candidate named9x, namedNt;
    bool has9x = false, hasNt = false, defaultIsDos = false, defaultIsNt = false;
    if (FindEntry(root, "MSDOS.SYS", file) && ReadBootFile(file, text) && IniValue(text, "Paths", "WinDir", value))
        has9x = FindPath(root, DriveRelative(value), dir) && Holds9x(dir, named9x);
    if (FindEntry(root, "boot.ini", file) && ReadBootFile(file, text) &&
        IniValue(text, "boot loader", "default", value)) {
        // "multi(0)disk(0)rdisk(0)partition(1)\WINNT": the path follows the
        // ARC name. "C:\" instead names the earlier system's boot sector.
        std::size_t slash = value.find('\\');
        std::size_t paren = value.find(')');
        if (paren != std::string::npos && paren < slash) {
            defaultIsNt = true;
            hasNt = slash != std::string::npos && FindPath(root, std::string_view(value).substr(slash + 1), dir) &&
                    HoldsNt(dir, namedNt);
        } else {
            defaultIsDos = true;
        }
    }
    if (hasNt && (defaultIsNt || !has9x)) {
        chosen = namedNt;
        return true;
    }
    if (has9x && (defaultIsDos || !hasNt)) {
        chosen = named9x;
        return true;
    }
    return false;
}

const char *FamilyName(InstallationKind kind)
{
    return kind == InstallationKind::Windows9x ? "95/98/Me" : "NT";
}

Installation Chosen(const Candidate &one)
{
    Installation found;
    found.kind = one.kind;
    found.registryFile = one.registryFile;
    found.softwareHive = one.softwareHive;
    found.windowsFound = true;
    return found;
}

} // namespace

Installation FindInstallation(const std::string &root)
{
    Installation result;
    struct stat info;
    if (stat(Join(root, "HKLM.reg").c_str(), &info) == 0) {
        result.kind = InstallationKind::EmulationRoot;
        result.registryFile = Join(root, "HKLM.reg");
        return result;
    }
    if (!IsDirectory(root)) {
        result.problem = "dorovivi: " + root + ": no such directory; reading an empty registry";
        return result;
    }

    // The root is a Windows directory itself, or a drive whose boot files
    // name one, or a drive with exactly one.
    std::vector<Candidate> found;
    AddInstallationsIn(root, found);
    Candidate named;
    if (found.empty() && NamedInstallation(root, named))
        return Chosen(named);
    if (found.empty()) {
        DIR *listing = opendir(root.c_str());
        while (listing != nullptr) {
            dirent *entry = readdir(listing);
            if (entry == nullptr)
                break;
            std::string_view name(entry->d_name);
            std::string dir = Join(root, name);
            if (name != "." && name != ".." && IsDirectory(dir))
                AddInstallationsIn(dir, found);
        }
        if (listing != nullptr)
            closedir(listing);
    }
    if (found.size() == 1)
        return Chosen(found[0]);
    if (found.empty()) {
        result.problem = "dorovivi: " + root +
                         ": no registry (HKLM.reg, a Windows directory with SYSTEM.DAT or system32/config/SYSTEM "
                         "and SOFTWARE); reading an empty registry";
        return result;
    }
    std::sort(found.begin(), found.end(), [](const Candidate &a, const Candidate &b) { return a.dir < b.dir; });
    result.windowsFound = true;
    result.problem = "dorovivi: " + root + ": several Windows installations and no boot configuration names one:";
    for (const Candidate &one : found)
        result.problem += " " + one.dir + " (" + FamilyName(one.kind) + ")";
    result.problem += "; reading an empty registry";
    return result;
}

const Installation &SystemInstallation()
{
    if (!SystemLookedUp) {
        SystemFound = FindInstallation(SystemRootPath());
        SystemLookedUp = true;
    }
    return SystemFound;
}

void ForgetSystemInstallation()
{
    SystemLookedUp = false;
}
