#include "platform/posix/reg_image.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/posix/system_root.h"
#include "platform/posix/text_encoding.h"

namespace {

const std::string_view Version4Header = "REGEDIT4";
const std::string_view Version5Header = "Windows Registry Editor Version 5.00";
const std::string_view MachineRoot = "HKEY_LOCAL_MACHINE\\";
const std::uint32_t FnvOffset = 2166136261u;
const std::uint32_t FnvPrime = 16777619u;

unsigned char LowerByte(char c)
{
    return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

std::uint32_t HashStep(std::uint32_t hash, char c)
{
    return (hash ^ LowerByte(c)) * FnvPrime;
}

std::uint32_t HashOf(std::string_view path)
{
    std::uint32_t hash = FnvOffset;
    for (char c : path)
        hash = HashStep(hash, c);
    return hash;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view TrimLine(std::string_view line)
{
    while (!line.empty() && IsBlank(line.back()))
        line.remove_suffix(1);
    while (!line.empty() && IsBlank(line.front()))
        line.remove_prefix(1);
    return line;
}

std::string_view PathOf(const RegImage &image, const RegImage::Key &key)
{
    return image.text.substr(key.pathBegin, key.pathLength);
}

// The slot where `path` is, or the free slot where it would go.
std::size_t FindSlot(const RegImage &image, std::string_view path, std::uint32_t hash)
{
    std::size_t mask = image.slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        std::uint32_t entry = image.slots[slot];
        if (entry == 0)
            return slot;
        const RegImage::Key &key = image.keys[entry - 1];
        if (key.hash == hash && RegNamesEqual(PathOf(image, key), path))
            return slot;
    }
}

void Grow(RegImage &image)
{
    std::vector<std::uint32_t> old;
    old.swap(image.slots);
    image.slots.assign(old.empty() ? 1024 : old.size() * 2, 0);
    std::size_t mask = image.slots.size() - 1;
    for (std::uint32_t entry : old) {
        if (entry == 0)
            continue;
        std::size_t slot = image.keys[entry - 1].hash & mask;
        while (image.slots[slot] != 0)
            slot = (slot + 1) & mask;
        image.slots[slot] = entry;
    }
}

// The key for `path`, made if new; `made` tells which.
RegImage::Key &KeyFor(RegImage &image, std::uint32_t begin, std::uint32_t length, std::uint32_t hash, bool &made)
{
    if ((image.keys.size() + 1) * 2 > image.slots.size())
        Grow(image);
    std::size_t slot = FindSlot(image, image.text.substr(begin, length), hash);
    made = image.slots[slot] == 0;
    if (made) {
        image.keys.push_back(RegImage::Key{begin, length, hash, -1, -1});
        image.slots[slot] = static_cast<std::uint32_t>(image.keys.size());
    }
    return image.keys[image.slots[slot] - 1];
}

const RegImage::Key *FindKey(const RegImage &image, std::string_view path)
{
    if (image.slots.empty())
        return nullptr;
    std::uint32_t entry = image.slots[FindSlot(image, path, HashOf(path))];
    return entry == 0 ? nullptr : &image.keys[entry - 1];
}

// How many leading bytes two texts share, compared a word at a time.
std::size_t CommonPrefixLength(const char *a, const char *b, std::size_t limit)
{
    std::size_t same = 0;
    while (same + 8 <= limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + same, 8);
        std::memcpy(&y, b + same, 8);
        if (x != y)
            return same + static_cast<std::size_t>(__builtin_ctzll(x ^ y) / 8);
        same += 8;
    }
    while (same < limit && a[same] == b[same])
        ++same;
    return same;
}

// The previous header's path and the hash state at each of its backslashes:
// exports list keys in tree order, so most of a path was hashed just before.
struct PathHashes {
    std::string_view path;
    std::uint32_t cuts[256];
    std::uint32_t hashes[256];
    std::size_t depth = 0;
};

// Records one header's path (offsets into the text). Its ancestors are made
// too, up to the first that exists already: that one's ancestors exist as well.
void RecordSection(RegImage &image, PathHashes &previous, std::uint32_t begin, std::uint32_t length, bool removal,
                   std::uint32_t bodyBegin)
{
    std::string_view path = image.text.substr(begin, length);
    // Reuse the previous path's hashes up to the last backslash both share.
    std::size_t limit = path.size() < previous.path.size() ? path.size() : previous.path.size();
    std::size_t same = CommonPrefixLength(path.data(), previous.path.data(), limit);
    std::size_t depth = 0;
    while (depth < previous.depth && previous.cuts[depth] < same)
        ++depth;
    std::uint32_t hash = depth > 0 ? previous.hashes[depth - 1] : FnvOffset;
    std::uint32_t i = depth > 0 ? previous.cuts[depth - 1] : 0;
    std::size_t known = depth;
    for (; i < length; ++i) {
        if (path[i] == '\\' && depth < 256 && (depth == 0 || previous.cuts[depth - 1] != i)) {
            previous.cuts[depth] = i;
            previous.hashes[depth++] = hash;
        }
        hash = HashStep(hash, path[i]);
    }
    previous.path = path;
    previous.depth = depth;

    auto order = static_cast<std::int32_t>(image.sections.size());
    bool made;
    RegImage::Key &key = KeyFor(image, begin, length, hash, made);
    auto keyIndex = static_cast<std::uint32_t>(&key - image.keys.data());
    image.sections.push_back(
        RegImage::Section{bodyBegin, bodyBegin, keyIndex, removal ? -1 : key.lastSection, removal});
    if (removal) {
        key.lastRemoval = order;
        image.hasRemovals = true;
    } else {
        key.lastSection = order;
    }
    // Ancestors the previous path shared are in the table already.
    while (made && depth > known) {
        --depth;
        KeyFor(image, begin, previous.cuts[depth], previous.hashes[depth], made);
    }
}

// "[HKEY_LOCAL_MACHINE\path]" or "[-...]": records it and says whether the
// lines after it belong to a machine key's values.
bool IndexHeader(RegImage &image, PathHashes &previous, std::string_view line, std::uint32_t bodyBegin)
{
    if (line.size() < 2 || line.back() != ']')
        return false;
    line = line.substr(1, line.size() - 2);
    bool removal = !line.empty() && line.front() == '-';
    if (removal)
        line.remove_prefix(1);
    if (line.size() <= MachineRoot.size() || !RegNamesEqual(line.substr(0, MachineRoot.size()), MachineRoot))
        return false;
    line.remove_prefix(MachineRoot.size());
    while (!line.empty() && line.back() == '\\')
        line.remove_suffix(1);
    if (line.empty())
        return false;
    RecordSection(image, previous, static_cast<std::uint32_t>(line.data() - image.text.data()),
                  static_cast<std::uint32_t>(line.size()), removal, bodyBegin);
    return !removal;
}

void IndexSections(RegImage &image)
{
    const char *text = image.text.data();
    std::size_t size = image.text.size();
    // Generous guesses: pages reserved but never filled cost no memory, and
    // the lists are not copied as they grow.
    image.sections.reserve(size / 64 + 16);
    image.keys.reserve(size / 48 + 16);
    bool inMachineSection = false;
    PathHashes previous;
    const char *newline = static_cast<const char *>(std::memchr(text, '\n', size));
    std::size_t pos = newline == nullptr ? size : static_cast<std::size_t>(newline - text) + 1;
    // Headers are found by their bracket, which value lines rarely hold, so
    // the scan does not stop at every line.
    while (pos < size) {
        const char *bracket = static_cast<const char *>(std::memchr(text + pos, '[', size - pos));
        if (bracket == nullptr)
            break;
        std::size_t first = static_cast<std::size_t>(bracket - text);
        std::size_t lineStart = first;
        while (lineStart > 0 && IsBlank(text[lineStart - 1]))
            --lineStart;
        newline = static_cast<const char *>(std::memchr(bracket, '\n', size - first));
        std::size_t end = newline == nullptr ? size : static_cast<std::size_t>(newline - text);
        if (lineStart > 0 && text[lineStart - 1] == '\n') {
            if (inMachineSection)
                image.sections.back().bodyEnd = static_cast<std::uint32_t>(lineStart);
            inMachineSection =
                IndexHeader(image, previous, TrimLine(std::string_view(text + first, end - first)), static_cast<std::uint32_t>(end));
        }
        pos = end + 1;
    }
    if (inMachineSection)
        image.sections.back().bodyEnd = static_cast<std::uint32_t>(size);
}

// Checks the header line, skipping a UTF-8 byte-order mark; indexes the text.
void IndexText(RegImage &image)
{
    if (image.text.substr(0, 3) == "\xEF\xBB\xBF")
        image.text.remove_prefix(3);
    std::string_view header = TrimLine(image.text.substr(0, image.text.find('\n')));
    image.unicodeHex = header == Version5Header;
    // Offsets are 32-bit; a larger file is no registry this emulation serves.
    if ((!image.unicodeHex && header != Version4Header) || image.text.size() >= 0xFFFFFFF0u) {
        image.text = std::string_view();
        return;
    }
    IndexSections(image);
}

void Clear(RegImage &image)
{
    if (image.mapping != nullptr)
        munmap(image.mapping, image.mappingSize);
    image.mapping = nullptr;
    image.mappingSize = 0;
    image.text = std::string_view();
    image.owned.clear();
    image.sections.clear();
    image.keys.clear();
    image.slots.clear();
    image.unicodeHex = false;
    image.hasRemovals = false;
}

// The newest removal that covers `path`: of the key or of any above it.
std::int32_t LastCoveringRemoval(const RegImage &image, std::string_view path)
{
    if (!image.hasRemovals)
        return -1;
    std::int32_t newest = -1;
    for (std::size_t cut = path.size(); cut != 0 && cut != std::string_view::npos; cut = path.rfind('\\', cut - 1)) {
        const RegImage::Key *key = FindKey(image, path.substr(0, cut));
        if (key != nullptr && key->lastRemoval > newest)
            newest = key->lastRemoval;
    }
    return newest;
}

// Whether a section of the key or below it comes after `after`. Only files
// that remove keys need this walk.
bool HasSectionAtOrBelowAfter(const RegImage &image, std::string_view path, std::int32_t after)
{
    for (std::size_t s = static_cast<std::size_t>(after + 1); s < image.sections.size(); ++s) {
        const RegImage::Section &section = image.sections[s];
        if (section.removal)
            continue;
        std::string_view header = PathOf(image, image.keys[section.key]);
        if (header.size() >= path.size() && RegNamesEqual(header.substr(0, path.size()), path) &&
            (header.size() == path.size() || header[path.size()] == '\\'))
            return true;
    }
    return false;
}

// Searches one section body; the last line naming the value wins.
bool FindInSection(const RegImage &image, const RegImage::Section &section, std::string_view name,
                   RegValueLine &value)
{
    std::string_view body = image.text.substr(section.bodyBegin, section.bodyEnd - section.bodyBegin);
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

RegImage SystemImage;
bool SystemImageLoaded = false;

} // namespace

RegImage::~RegImage()
{
    Clear(*this);
}

void LoadRegImage(std::string bytes, RegImage &image)
{
    Clear(image);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        AppendUtf16LeAsUtf8(reinterpret_cast<const unsigned char *>(bytes.data()) + 2, bytes.size() - 2, image.owned);
    } else {
        image.owned.swap(bytes);
    }
    image.text = image.owned;
    IndexText(image);
}

void LoadRegImageFile(const char *path, RegImage &image)
{
    Clear(image);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat info;
    unsigned char bom[2];
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 2 || pread(fd, bom, 2, 0) != 2) {
        close(fd);
        return;
    }
    auto size = static_cast<std::size_t>(info.st_size);
    if (bom[0] == 0xFF && bom[1] == 0xFE) {
        // Converted a piece at a time, so that the UTF-16 text is never held whole.
        image.owned.reserve(size / 2);
        unsigned char chunk[1 << 16];
        std::size_t carried = 0;
        off_t offset = 2;
        for (;;) {
            ssize_t got = pread(fd, chunk + carried, sizeof chunk - carried, offset);
            if (got <= 0)
                break;
            offset += got;
            std::size_t have = carried + static_cast<std::size_t>(got);
            std::size_t whole = have & ~static_cast<std::size_t>(1);
            // A high surrogate at the end waits for its partner.
            if (whole >= 2 && chunk[whole - 1] >= 0xD8 && chunk[whole - 1] <= 0xDB)
                whole -= 2;
            AppendUtf16LeAsUtf8(chunk, whole, image.owned);
            carried = have - whole;
            std::memmove(chunk, chunk + whole, carried);
        }
        AppendUtf16LeAsUtf8(chunk, carried, image.owned);
        close(fd);
        image.text = image.owned;
    } else {
        void *mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        close(fd);
        if (mapping == MAP_FAILED)
            return;
        image.mapping = mapping;
        image.mappingSize = size;
        image.text = std::string_view(static_cast<const char *>(mapping), size);
    }
    IndexText(image);
}

bool RegImageKeyExists(const RegImage &image, std::string_view path)
{
    if (path.empty())
        return true;
    const RegImage::Key *key = FindKey(image, path);
    if (key == nullptr)
        return false;
    std::int32_t removal = LastCoveringRemoval(image, path);
    return removal < 0 || key->lastSection > removal || HasSectionAtOrBelowAfter(image, path, removal);
}

bool RegImageFindValue(const RegImage &image, std::string_view path, std::string_view name, RegValueLine &value)
{
    const RegImage::Key *key = FindKey(image, path);
    if (key == nullptr)
        return false;
    std::int32_t removal = LastCoveringRemoval(image, path);
    for (std::int32_t s = key->lastSection; s > removal; s = image.sections[static_cast<std::size_t>(s)].previousOfKey) {
        if (FindInSection(image, image.sections[static_cast<std::size_t>(s)], name, value))
            return !value.removed;
    }
    return false;
}

void ForgetSystemRegistry()
{
    SystemImageLoaded = false;
}

const RegImage &SystemRegistry()
{
    if (!SystemImageLoaded) {
        SystemImageLoaded = true;
        LoadRegImageFile(SystemRootFile("HKLM.reg").c_str(), SystemImage);
    }
    return SystemImage;
}
