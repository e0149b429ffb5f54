// The index of a .reg export's section headers: the sections in file order and
// every path a header names or implies, appended as they come and chained by
// hash. Nothing is looked up while loading, and the bucket heads fit in
// cache, so the pass touches memory in order.
#include <sys/mman.h>

#include <cstdint>
#include <cstring>

#include "platform/posix/sources/reg_header_line.h"
#include "platform/posix/sources/reg_export_text.h"

namespace {

const std::uint32_t FnvOffset = 2166136261u;
const std::uint32_t FnvPrime = 16777619u;

std::uint32_t HashStep(std::uint32_t hash, char c)
{
    return (hash ^ static_cast<unsigned char>(LowerAscii(c))) * FnvPrime;
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
// exports list keys in tree order, so most of a path was hashed just before,
// and its parents were listed just before.
struct PathHashes {
    std::string_view path;
    std::uint32_t cuts[256];
    std::uint32_t hashes[256];
    std::size_t depth = 0;
};

void AddName(RegExport &exported, std::uint32_t hash, std::uint32_t section, std::uint32_t length)
{
    std::uint32_t &newest = exported.buckets[hash & (exported.buckets.size() - 1)];
    exported.names.push_back(RegExport::Name{hash, section, length, newest});
    newest = static_cast<std::uint32_t>(exported.names.size());
}

// Records one header's path (offsets into the text): the path itself, and
// each parent the previous header's path did not already imply. A removal
// implies no parent, and the header after it lists all of its own again, so
// that a key made again after a removal is listed after it. A path with an
// empty part is refused; only the part new since the previous header needs
// the look, as that one was refused otherwise.
bool RecordSection(RegExport &exported, PathHashes &previous, std::uint32_t begin, std::uint32_t length, bool removal,
                   std::uint32_t bodyBegin)
{
    auto section = static_cast<std::uint32_t>(exported.sections.size());
    std::string_view path = exported.text.substr(begin, length);
    if (removal) {
        if (RegPathHasEmptyPart(path))
            return false;
        exported.sections.push_back(RegExport::Section{begin, length, bodyBegin, bodyBegin, removal});
        exported.hasRemovals = true;
        AddName(exported, RegPathHash(path), section, length);
        previous.path = std::string_view();
        previous.depth = 0;
        return true;
    }
    std::size_t limit = path.size() < previous.path.size() ? path.size() : previous.path.size();
    std::size_t same = CommonPrefixLength(path.data(), previous.path.data(), limit);
    // Resume from the last backslash both paths share.
    std::size_t depth = 0;
    while (depth < previous.depth && previous.cuts[depth] < same)
        ++depth;
    if (RegPathHasEmptyPart(path.substr(depth > 0 ? previous.cuts[depth - 1] : 0)))
        return false;
    exported.sections.push_back(RegExport::Section{begin, length, bodyBegin, bodyBegin, removal});
    std::uint32_t hash = depth > 0 ? previous.hashes[depth - 1] : FnvOffset;
    std::uint32_t i = depth > 0 ? previous.cuts[depth - 1] : 0;
    for (; i < length; ++i) {
        if (path[i] == '\\' && i > 0 && (depth == 0 || previous.cuts[depth - 1] != i)) {
            bool implied = i < same || (i == same && i == previous.path.size());
            if (!implied)
                AddName(exported, hash, section, i);
            if (depth < 256) {
                previous.cuts[depth] = i;
                previous.hashes[depth++] = hash;
            }
        }
        hash = HashStep(hash, path[i]);
    }
    AddName(exported, hash, section, length);
    previous.path = path;
    previous.depth = depth;
    return true;
}

// Records a header line that names a machine key; says what the line is.
RegHeaderKind IndexHeader(RegExport &exported, PathHashes &previous, std::string_view line, std::uint32_t bodyBegin)
{
    std::string_view path;
    RegHeaderKind kind = ParseRegHeaderLine(line, path);
    if ((kind == RegHeaderMachineKey || kind == RegHeaderMachineRemoval) &&
        !RecordSection(exported, previous, static_cast<std::uint32_t>(path.data() - exported.text.data()),
                       static_cast<std::uint32_t>(path.size()), kind == RegHeaderMachineRemoval, bodyBegin))
        return RegHeaderOther;
    return kind;
}

// Asks for huge pages under a list's reserved storage: the pass fills tens of
// megabytes at 100 MB of text, and a fault per 4 KiB page of it cost a tenth
// of the run. Only whole 2 MiB pages inside the storage are advised.
template <typename T> void AdviseHugePages(const std::vector<T> &list)
{
    const std::uintptr_t huge = std::uintptr_t(2) << 20;
    auto begin = reinterpret_cast<std::uintptr_t>(list.data());
    std::uintptr_t end = begin + list.capacity() * sizeof(T);
    begin = (begin + huge - 1) & ~(huge - 1);
    end &= ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}

} // namespace

std::uint32_t RegPathHash(std::string_view path)
{
    std::uint32_t hash = FnvOffset;
    for (char c : path)
        hash = HashStep(hash, c);
    return hash;
}

std::uint32_t NextRegExportName(const RegExport &exported, std::string_view path, std::uint32_t hash, std::uint32_t newer)
{
    if (exported.buckets.empty())
        return 0;
    std::uint32_t n = newer == 0 ? exported.buckets[hash & (exported.buckets.size() - 1)] : exported.names[newer - 1].older;
    for (; n != 0; n = exported.names[n - 1].older) {
        const RegExport::Name &name = exported.names[n - 1];
        if (name.hash == hash && name.length == path.size() &&
            RegNamesEqual(exported.text.substr(exported.sections[name.section].pathBegin, name.length), path))
            return n;
    }
    return 0;
}

void IndexRegSections(RegExport &exported)
{
    const char *text = exported.text.data();
    std::size_t size = exported.text.size();
    // Generous guesses: pages reserved but never filled cost no memory, and
    // the lists are not copied as they grow.
    exported.sections.reserve(size / 64 + 16);
    exported.names.reserve(size / 56 + 16);
    AdviseHugePages(exported.sections);
    AdviseHugePages(exported.names);
    // About one bucket per 64 KiB of text: the heads stay in the first-level
    // cache while the pass fills them (a larger table measured slower), and
    // the few dozen lookups of a run walk chains of a few hundred names.
    std::size_t bucketCount = 1024;
    while (bucketCount < size / 65536 && bucketCount < (std::size_t(1) << 20))
        bucketCount *= 2;
    exported.buckets.assign(bucketCount, 0);
    bool inMachineSection = false;
    PathHashes previous;
    // The text behind the pass is let go as it goes, so that a mapped file
    // does not stay resident whole.
    const std::size_t window = std::size_t(4) << 20;
    std::size_t released = 0;
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
            std::size_t sections = exported.sections.size();
            RegHeaderKind kind = IndexHeader(exported, previous, TrimRegLine(std::string_view(text + first, end - first)),
                                             static_cast<std::uint32_t>(end));
            if (kind != RegHeaderNone) {
                if (inMachineSection)
                    exported.sections[sections - 1].bodyEnd = static_cast<std::uint32_t>(lineStart);
                inMachineSection = kind == RegHeaderMachineKey;
            }
            if (kind == RegHeaderStop)
                return;
        }
        pos = end + 1;
        if (pos - released > window) {
            released = pos - window / 2;
            ReleaseRegText(exported, released);
        }
    }
    if (inMachineSection)
        exported.sections.back().bodyEnd = static_cast<std::uint32_t>(size);
}
