// The index of a .reg export's section headers: the sections in file order and
// every path a header names or implies, appended as they come and chained by
// hash. Nothing is looked up while loading, and the bucket heads fit in
// cache, so the pass touches memory in order.
#include <cstring>

#include "platform/posix/sources/reg_export_pass.h"
#include "platform/posix/sources/reg_header_line.h"

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
bool RecordSection(RegExport &exported, PathHashes &previous, std::string_view path, std::uint32_t begin, bool removal,
                   std::uint32_t bodyBegin)
{
    auto section = static_cast<std::uint32_t>(exported.sections.size());
    auto length = static_cast<std::uint32_t>(path.size());
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
// `data` holds the text from offset `base` on.
RegHeaderKind IndexHeader(RegExport &exported, PathHashes &previous, std::string_view line, const char *data,
                          std::size_t base, std::uint32_t bodyBegin)
{
    std::string_view path;
    RegHeaderKind kind = ParseRegHeaderLine(line, path);
    if ((kind == RegHeaderMachineKey || kind == RegHeaderMachineRemoval) &&
        !RecordSection(exported, previous, path, static_cast<std::uint32_t>(base + (path.data() - data)),
                       kind == RegHeaderMachineRemoval, bodyBegin))
        return RegHeaderOther;
    return kind;
}

} // namespace

// Headers are found by their bracket, which value lines rarely hold, so the
// scan does not stop at every line.
bool IndexLines(RegExport &exported, IndexState &state, const char *data, std::size_t base, std::size_t length)
{
    std::size_t pos = 1;
    while (pos < length) {
        const char *bracket = static_cast<const char *>(std::memchr(data + pos, '[', length - pos));
        if (bracket == nullptr)
            break;
        std::size_t first = static_cast<std::size_t>(bracket - data);
        std::size_t lineStart = first;
        while (IsRegBlank(data[lineStart - 1]))
            --lineStart;
        const char *newline = static_cast<const char *>(std::memchr(bracket, '\n', length - first));
        std::size_t end = newline == nullptr ? length : static_cast<std::size_t>(newline - data);
        if (data[lineStart - 1] == '\n') {
            std::size_t sections = exported.sections.size();
            RegHeaderKind kind = IndexHeader(exported, state.previous, TrimRegLine(std::string_view(data + first, end - first)),
                                             data, base, static_cast<std::uint32_t>(base + end));
            if (kind != RegHeaderNone) {
                if (state.inMachineSection)
                    exported.sections[sections - 1].bodyEnd = static_cast<std::uint32_t>(base + lineStart);
                state.inMachineSection = kind == RegHeaderMachineKey;
            }
            if (kind == RegHeaderStop)
                return false;
        }
        pos = end + 1;
    }
    return true;
}

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
