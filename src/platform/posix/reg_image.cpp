#include "platform/posix/reg_image.h"

#include <cstdio>

#include "platform/posix/system_root.h"
#include "platform/posix/text_encoding.h"

namespace {

const std::string_view Version4Header = "REGEDIT4";
const std::string_view Version5Header = "Windows Registry Editor Version 5.00";
const std::string_view MachineRoot = "hkey_local_machine";

void LowerInPlace(char *begin, char *end)
{
    for (char *c = begin; c != end; ++c) {
        if (*c >= 'A' && *c <= 'Z')
            *c = static_cast<char>(*c - 'A' + 'a');
    }
}

std::string LowerCopy(std::string_view text)
{
    std::string copy(text);
    LowerInPlace(copy.data(), copy.data() + copy.size());
    return copy;
}

std::string_view TrimLine(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    return line;
}

// Puts the text in 8-bit form and says which header it carries.
bool DecodeText(std::string &bytes, bool &version5)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::string utf8;
        utf8.reserve(bytes.size() / 2);
        AppendUtf16LeAsUtf8(reinterpret_cast<const unsigned char *>(bytes.data()) + 2, bytes.size() - 2, utf8);
        bytes.swap(utf8);
    } else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        bytes.erase(0, 3);
    }
    std::string_view header = TrimLine(std::string_view(bytes).substr(0, bytes.find('\n')));
    version5 = header == Version5Header;
    return version5 || header == Version4Header;
}

// Strips "HKEY_LOCAL_MACHINE\" from a lowercased header path; false for
// other roots and for the root itself.
bool MachineRelative(std::string_view &path)
{
    if (path.size() <= MachineRoot.size() + 1 || path.substr(0, MachineRoot.size()) != MachineRoot ||
        path[MachineRoot.size()] != '\\')
        return false;
    path.remove_prefix(MachineRoot.size() + 1);
    while (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    return !path.empty();
}

void RecordSection(RegImage &image, std::string_view path, bool removal, std::uint32_t bodyBegin)
{
    auto order = static_cast<std::int32_t>(image.sections.size());
    RegImage::Key &key = image.keys[path];
    image.sections.push_back(RegImage::Section{bodyBegin, bodyBegin, removal ? -1 : key.lastSection});
    if (removal) {
        key.lastRemoval = order;
        return;
    }
    key.lastSection = order;
    for (std::size_t cut = path.size(); cut != std::string_view::npos; cut = path.rfind('\\', cut - 1)) {
        image.keys[path.substr(0, cut)].lastDescendant = order;
        if (cut == 0)
            break;
    }
}

void IndexSections(RegImage &image)
{
    char *text = image.text.data();
    std::size_t size = image.text.size();
    bool inMachineSection = false;
    std::size_t pos = image.text.find('\n');
    pos = pos == std::string::npos ? size : pos + 1;
    while (pos < size) {
        std::size_t end = image.text.find('\n', pos);
        if (end == std::string::npos)
            end = size;
        std::string_view line = TrimLine(std::string_view(text + pos, end - pos));
        if (!line.empty() && line.front() == '[') {
            if (inMachineSection)
                image.sections.back().bodyEnd = static_cast<std::uint32_t>(pos);
            inMachineSection = false;
            if (line.back() == ']') {
                line = line.substr(1, line.size() - 2);
                bool removal = !line.empty() && line.front() == '-';
                if (removal)
                    line.remove_prefix(1);
                char *name = text + (line.data() - text);
                LowerInPlace(name, name + line.size());
                if (MachineRelative(line)) {
                    RecordSection(image, line, removal, static_cast<std::uint32_t>(end));
                    inMachineSection = !removal;
                }
            }
        }
        pos = end + 1;
    }
    if (inMachineSection)
        image.sections.back().bodyEnd = static_cast<std::uint32_t>(size);
}

const RegImage::Key *FindKey(const RegImage &image, std::string_view lowerPath)
{
    auto found = image.keys.find(lowerPath);
    return found == image.keys.end() ? nullptr : &found->second;
}

// The newest removal that covers `lowerPath`: of the key or of any above it.
std::int32_t LastCoveringRemoval(const RegImage &image, std::string_view lowerPath)
{
    std::int32_t newest = -1;
    for (std::size_t cut = lowerPath.size(); cut != 0 && cut != std::string_view::npos;
         cut = lowerPath.rfind('\\', cut - 1)) {
        const RegImage::Key *key = FindKey(image, lowerPath.substr(0, cut));
        if (key != nullptr && key->lastRemoval > newest)
            newest = key->lastRemoval;
    }
    return newest;
}

// Searches one section body; the last line naming the value wins.
bool FindInSection(const RegImage &image, const RegImage::Section &section, std::string_view name,
                   RegValueLine &value)
{
    std::string_view body(image.text.data() + section.bodyBegin, section.bodyEnd - section.bodyBegin);
    bool found = false;
    std::string logical;
    std::size_t pos = 0;
    while (pos < body.size()) {
        logical.clear();
        // A line ending in a backslash goes on in the next line.
        while (pos < body.size()) {
            std::size_t end = body.find('\n', pos);
            if (end == std::string_view::npos)
                end = body.size();
            std::string_view line = TrimLine(body.substr(pos, end - pos));
            pos = end + 1;
            bool continued = !line.empty() && line.back() == '\\';
            if (continued)
                line.remove_suffix(1);
            logical += line;
            if (!continued)
                break;
        }
        RegValueLine candidate;
        if (ParseRegValueLine(logical, image.unicodeHex, candidate) && RegNamesEqual(candidate.name, name)) {
            value = candidate;
            found = true;
        }
    }
    return found;
}

} // namespace

void LoadRegImage(std::string bytes, RegImage &image)
{
    // Cleared rather than replaced: the index holds views into the text.
    image.keys.clear();
    image.sections.clear();
    image.text.clear();
    image.unicodeHex = false;
    bool version5 = false;
    // Offsets are 32-bit; a larger file is no registry this emulation serves.
    if (bytes.size() >= 0xFFFFFFFFu || !DecodeText(bytes, version5))
        return;
    image.text.swap(bytes);
    image.unicodeHex = version5;
    IndexSections(image);
}

bool RegImageKeyExists(const RegImage &image, std::string_view path)
{
    std::string lower = LowerCopy(path);
    if (lower.empty())
        return true;
    const RegImage::Key *key = FindKey(image, lower);
    return key != nullptr && key->lastDescendant > LastCoveringRemoval(image, lower);
}

bool RegImageFindValue(const RegImage &image, std::string_view path, std::string_view name, RegValueLine &value)
{
    std::string lower = LowerCopy(path);
    const RegImage::Key *key = FindKey(image, lower);
    if (key == nullptr)
        return false;
    std::int32_t removal = LastCoveringRemoval(image, lower);
    for (std::int32_t s = key->lastSection; s > removal; s = image.sections[static_cast<std::size_t>(s)].previousOfKey) {
        if (FindInSection(image, image.sections[static_cast<std::size_t>(s)], name, value))
            return !value.removed;
    }
    return false;
}

namespace {

RegImage SystemImage;
bool SystemImageLoaded = false;

} // namespace

void ForgetSystemRegistry()
{
    SystemImageLoaded = false;
}

const RegImage &SystemRegistry()
{
    RegImage &image = SystemImage;
    bool &loaded = SystemImageLoaded;
    if (!loaded) {
        loaded = true;
        std::string bytes;
        if (std::FILE *file = std::fopen(SystemRootFile("HKLM.reg").c_str(), "rb")) {
            char chunk[65536];
            std::size_t got;
            while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
                bytes.append(chunk, got);
            std::fclose(file);
        }
        LoadRegImage(std::move(bytes), image);
    }
    return image;
}
