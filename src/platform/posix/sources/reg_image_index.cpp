// The index of a .reg image's section headers: every key a header names or
// implies, found by a case-insensitive hash of its path.
#include <cstring>

#include "platform/posix/sources/reg_header_line.h"
#include "platform/posix/sources/reg_image_text.h"

namespace {

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

// The slot where `path` is, or the free slot where it would go.
std::size_t FindSlot(const RegImage &image, std::string_view path, std::uint32_t hash)
{
    std::size_t mask = image.slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        std::uint32_t entry = image.slots[slot];
        if (entry == 0)
            return slot;
        const RegImage::Key &key = image.keys[entry - 1];
        if (key.hash == hash && RegNamesEqual(PathOfKey(image, key), path))
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
        image.keys.push_back(RegImage::Key{begin, length, hash, -1, -1, false});
        image.slots[slot] = static_cast<std::uint32_t>(image.keys.size());
    }
    return image.keys[image.slots[slot] - 1];
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
    if (removal) {
        // Ancestors the previous path shared are in the table already.
        while (made && depth > known) {
            --depth;
            KeyFor(image, begin, previous.cuts[depth], previous.hashes[depth], made);
        }
        return;
    }
    // A key header brings its ancestors to life, up to one already alive;
    // a removal alone makes no key.
    std::size_t index = keyIndex;
    while (!image.keys[index].live) {
        image.keys[index].live = true;
        if (depth == 0)
            break;
        --depth;
        RegImage::Key &parent = KeyFor(image, begin, previous.cuts[depth], previous.hashes[depth], made);
        index = static_cast<std::size_t>(&parent - image.keys.data());
    }
}

// Records a header line that names a machine key; says what the line is.
RegHeaderKind IndexHeader(RegImage &image, PathHashes &previous, std::string_view line, std::uint32_t bodyBegin)
{
    std::string_view path;
    RegHeaderKind kind = ParseRegHeaderLine(line, path);
    if (kind == RegHeaderMachineKey || kind == RegHeaderMachineRemoval)
        RecordSection(image, previous, static_cast<std::uint32_t>(path.data() - image.text.data()),
                      static_cast<std::uint32_t>(path.size()), kind == RegHeaderMachineRemoval, bodyBegin);
    return kind;
}

} // namespace

const RegImage::Key *FindRegImageKey(const RegImage &image, std::string_view path)
{
    if (image.slots.empty())
        return nullptr;
    std::uint32_t entry = image.slots[FindSlot(image, path, HashOf(path))];
    return entry == 0 ? nullptr : &image.keys[entry - 1];
}

void IndexRegSections(RegImage &image)
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
        while (lineStart > 0 && IsRegBlank(text[lineStart - 1]))
            --lineStart;
        newline = static_cast<const char *>(std::memchr(bracket, '\n', size - first));
        std::size_t end = newline == nullptr ? size : static_cast<std::size_t>(newline - text);
        if (lineStart > 0 && text[lineStart - 1] == '\n') {
            std::size_t sections = image.sections.size();
            RegHeaderKind kind = IndexHeader(image, previous, TrimRegLine(std::string_view(text + first, end - first)),
                                             static_cast<std::uint32_t>(end));
            if (kind != RegHeaderNone) {
                if (inMachineSection)
                    image.sections[sections - 1].bodyEnd = static_cast<std::uint32_t>(lineStart);
                inMachineSection = kind == RegHeaderMachineKey;
            }
            if (kind == RegHeaderStop)
                return;
        }
        pos = end + 1;
    }
    if (inMachineSection)
        image.sections.back().bodyEnd = static_cast<std::uint32_t>(size);
}

