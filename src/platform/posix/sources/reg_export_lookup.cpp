// Keys and values of a loaded .reg export, with removals and later
// definitions applied as an import would apply them.
#include "platform/posix/sources/reg_export_text.h"

namespace {

// The newest removal that covers `path`: of the key or of any above it.
std::int64_t LastCoveringRemoval(const RegExport &exported, std::string_view path)
{
    if (!exported.hasRemovals)
        return -1;
    std::int64_t newest = -1;
    for (std::size_t cut = path.size(); cut != 0 && cut != std::string_view::npos; cut = path.rfind('\\', cut - 1)) {
        std::string_view above = path.substr(0, cut);
        std::uint32_t hash = RegPathHash(above);
        for (std::uint32_t n = NextRegExportName(exported, above, hash, 0); n != 0; n = NextRegExportName(exported, above, hash, n)) {
            std::uint32_t section = exported.names[n - 1].section;
            if (exported.sections[section].removal) {
                if (section > newest)
                    newest = section;
                break;
            }
        }
    }
    return newest;
}

// The line at `pos`, its line end removed; `pos` moves to the next line.
std::string_view NextLine(std::string_view body, std::size_t &pos)
{
    std::size_t end = body.find('\n', pos);
    if (end == std::string_view::npos)
        end = body.size();
    std::string_view line = body.substr(pos, end - pos);
    pos = end + 1;
    return TrimTrailing(line, [](char c) { return c == '\r'; });
}

// Searches one section body; the last line naming the value wins.
bool FindInSection(const RegExport &exported, const RegExport::Section &section, std::string_view name,
                   RegValueLine &value)
{
    std::string_view body = exported.text.substr(section.bodyBegin, section.bodyEnd - section.bodyBegin);
    bool atEndOfFile = section.bodyEnd == exported.text.size();
    bool found = false;
    RegValueLine candidate;
    std::size_t pos = 0;
    while (pos < body.size()) {
        RegValueParse parse = ParseRegValueLine(NextLine(body, pos), exported.unicodeText, candidate);
        while (parse == RegValueContinued) {
            // Data continued into the next header is dropped, as regedit drops it.
            if (pos >= body.size()) {
                parse = atEndOfFile ? RegValueDone : RegValueInvalid;
                FinishRegValue(exported.unicodeText, candidate);
                break;
            }
            parse = ContinueRegValueLine(NextLine(body, pos), exported.unicodeText, candidate);
        }
        if (parse == RegValueDone && RegNamesEqual(candidate.name, name)) {
            value = candidate;
            found = true;
        }
    }
    return found;
}

// The next name of `path` after `newer` (0: the newest) whose section comes
// after `removal` and removes nothing itself; 0 when none is left.
std::uint32_t NextLiveName(const RegExport &exported, std::string_view path, std::uint32_t hash, std::int64_t removal,
                           std::uint32_t newer)
{
    for (std::uint32_t n = NextRegExportName(exported, path, hash, newer); n != 0; n = NextRegExportName(exported, path, hash, n)) {
        std::uint32_t section = exported.names[n - 1].section;
        if (section <= removal)
            return 0;
        if (!exported.sections[section].removal)
            return n;
    }
    return 0;
}

} // namespace

bool RegExportKeyExists(const RegExport &exported, std::string_view path)
{
    if (path.empty())
        return true;
    // The key exists when a section of it or below it comes after the newest
    // removal that covers it. A name is listed after the removal for each
    // such run of sections, so the names of the path tell.
    return NextLiveName(exported, path, RegPathHash(path), LastCoveringRemoval(exported, path), 0) != 0;
}

bool RegExportFindValue(const RegExport &exported, std::string_view path, std::string_view name, RegValueLine &value)
{
    std::int64_t removal = LastCoveringRemoval(exported, path);
    std::uint32_t hash = RegPathHash(path);
    // The key's own sections since that removal, newest first.
    for (std::uint32_t n = NextLiveName(exported, path, hash, removal, 0); n != 0;
         n = NextLiveName(exported, path, hash, removal, n)) {
        const RegExport::Section &own = exported.sections[exported.names[n - 1].section];
        if (own.pathLength == path.size() && FindInSection(exported, own, name, value))
            return !value.removed;
    }
    return false;
}
