// Keys and values of a loaded .reg image, with removals and later
// definitions applied as an import would apply them.
#include "platform/posix/sources/reg_image_text.h"

namespace {

// The newest removal that covers `path`: of the key or of any above it.
std::int32_t LastCoveringRemoval(const RegImage &image, std::string_view path)
{
    if (!image.hasRemovals)
        return -1;
    std::int32_t newest = -1;
    for (std::size_t cut = path.size(); cut != 0 && cut != std::string_view::npos; cut = path.rfind('\\', cut - 1)) {
        const RegImage::Key *key = FindRegImageKey(image, path.substr(0, cut));
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
        std::string_view header = PathOfKey(image, image.keys[section.key]);
        if (header.size() >= path.size() && RegNamesEqual(header.substr(0, path.size()), path) &&
            (header.size() == path.size() || header[path.size()] == '\\'))
            return true;
    }
    return false;
}

// The line at `pos`, its line end removed; `pos` moves to the next line.
std::string_view NextLine(std::string_view body, std::size_t &pos)
{
    std::size_t end = body.find('\n', pos);
    if (end == std::string_view::npos)
        end = body.size();
    std::string_view line = body.substr(pos, end - pos);
    pos = end + 1;
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// Searches one section body; the last line naming the value wins.
bool FindInSection(const RegImage &image, const RegImage::Section &section, std::string_view name,
                   RegValueLine &value)
{
    std::string_view body = image.text.substr(section.bodyBegin, section.bodyEnd - section.bodyBegin);
    bool atEndOfFile = section.bodyEnd == image.text.size();
    bool found = false;
    RegValueLine candidate;
    std::size_t pos = 0;
    while (pos < body.size()) {
        RegValueParse parse = ParseRegValueLine(NextLine(body, pos), image.unicodeText, candidate);
        while (parse == RegValueContinued) {
            // Data continued into the next header is dropped, as regedit drops it.
            if (pos >= body.size()) {
                parse = atEndOfFile ? RegValueDone : RegValueInvalid;
                FinishRegValue(image.unicodeText, candidate);
                break;
            }
            parse = ContinueRegValueLine(NextLine(body, pos), image.unicodeText, candidate);
        }
        if (parse == RegValueDone && RegNamesEqual(candidate.name, name)) {
            value = candidate;
            found = true;
        }
    }
    return found;
}

} // namespace

bool RegImageKeyExists(const RegImage &image, std::string_view path)
{
    if (path.empty())
        return true;
    const RegImage::Key *key = FindRegImageKey(image, path);
    if (key == nullptr || !key->live)
        return false;
    std::int32_t removal = LastCoveringRemoval(image, path);
    return removal < 0 || key->lastSection > removal || HasSectionAtOrBelowAfter(image, path, removal);
}

bool RegImageFindValue(const RegImage &image, std::string_view path, std::string_view name, RegValueLine &value)
{
    const RegImage::Key *key = FindRegImageKey(image, path);
    if (key == nullptr)
        return false;
    std::int32_t removal = LastCoveringRemoval(image, path);
    for (std::int32_t s = key->lastSection; s > removal; s = image.sections[static_cast<std::size_t>(s)].previousOfKey) {
        if (FindInSection(image, image.sections[static_cast<std::size_t>(s)], name, value))
            return !value.removed;
    }
    return false;
}

