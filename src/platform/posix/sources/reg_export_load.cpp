// Loading a .reg file: mapped where it is 8-bit text, converted piecewise
// where it is UTF-16, then its header checked and its sections indexed.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cstring>

#include "platform/posix/base/error_line.h"
#include "platform/posix/base/evidence_file.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/owned_fd.h"
#include "platform/posix/base/sha256.h"
#include "platform/posix/base/text_encoding.h"
#include "platform/posix/sources/reg_export_text.h"

namespace {

const std::string_view Version4Header = "REGEDIT4";
const std::string_view Version5Header = "Windows Registry Editor Version 5.00";

// Offsets into the text are 32-bit, which keeps the index small; a larger
// export is refused aloud rather than read as an empty registry unannounced.
const std::uint64_t MaxTextBytes = std::uint64_t(1) << 32;

bool RefusedForSize(std::uint64_t size, const char *what)
{
    if (size < MaxTextBytes)
        return false;
    PrintErrorLine(std::string(what) + " is 4 GiB or more, too large to read; the registry is empty");
    return true;
}

// A file whose first line ends in a lone CR has CR-only line ends, which
// regedit reads as line ends too: they become LF in the owned copy, so the
// index and the lookup see one kind of line end.
void OwnCrOnlyText(RegExport &exported)
{
    std::size_t end = exported.text.find_first_of("\r\n");
    if (end == std::string_view::npos || exported.text[end] != '\r' ||
        (end + 1 < exported.text.size() && exported.text[end + 1] == '\n'))
        return;
    if (exported.mapping != nullptr) {
        exported.owned.assign(exported.text.data(), exported.text.size());
        munmap(exported.mapping, exported.mappingSize);
        exported.mapping = nullptr;
        exported.mappingSize = 0;
    } else {
        exported.owned.erase(0, static_cast<std::size_t>(exported.text.data() - exported.owned.data()));
    }
    for (std::size_t i = 0; i < exported.owned.size(); ++i) {
        if (exported.owned[i] == '\r' && (i + 1 == exported.owned.size() || exported.owned[i + 1] != '\n'))
            exported.owned[i] = '\n';
    }
    exported.text = exported.owned;
}

// Checks the header line, skipping a UTF-8 byte-order mark; indexes the text.
// The header must be the whole line, blanks allowed only before it.
// `fd` is the mapped file's, or -1.
void IndexText(RegExport &exported, bool unicodeText, const char *what, int fd)
{
    if (exported.text.substr(0, 3) == "\xEF\xBB\xBF")
        exported.text.remove_prefix(3);
    OwnCrOnlyText(exported);
    std::string_view header = exported.text.substr(0, exported.text.find('\n'));
    header = TrimLeading(TrimTrailing(header, [](char c) { return c == '\r'; }), IsBlank);
    exported.unicodeText = unicodeText;
    if ((header != Version5Header && header != Version4Header) || RefusedForSize(exported.text.size(), what)) {
        exported.text = std::string_view();
        return;
    }
    if (exported.mapping == nullptr)
        IndexRegSections(exported, -1, 0);
    else
        IndexRegSections(exported, fd,
                         static_cast<std::uint64_t>(exported.text.data() - static_cast<const char *>(exported.mapping)));
}

void Clear(RegExport &exported)
{
    if (exported.mapping != nullptr)
        munmap(exported.mapping, exported.mappingSize);
    exported.mapping = nullptr;
    exported.mappingSize = 0;
    exported.text = std::string_view();
    exported.owned.clear();
    exported.sections.clear();
    exported.names.clear();
    exported.buckets.clear();
    exported.unicodeText = false;
    exported.hasRemovals = false;
}

} // namespace

RegExport::~RegExport()
{
    Clear(*this);
}

void LoadRegExport(std::string bytes, RegExport &exported)
{
    Clear(exported);
    bool unicode = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                   static_cast<unsigned char>(bytes[1]) == 0xFE;
    if (unicode) {
        AppendUtf16LeAsUtf8(reinterpret_cast<const unsigned char *>(bytes.data()) + 2, bytes.size() - 2, exported.owned);
    } else {
        exported.owned.swap(bytes);
    }
    exported.text = exported.owned;
    IndexText(exported, unicode, "the registry export", -1);
}

void LoadRegExportFile(const char *path, RegExport &exported, FileDigest *digest)
{
    Clear(exported);
    OwnedFd fd(OpenEvidenceFile(path));
    if (!fd.Valid())
        return;
    struct stat info;
    unsigned char bom[2];
    Sha256 hash;
    Sha256Start(hash);
    if (fstat(fd.fd, &info) != 0 || !S_ISREG(info.st_mode))
        return;
    if (info.st_size < 2 || !ReadExactlyAt(fd.fd, bom, 2, 0)) {
        std::size_t got = 0;
        if (digest != nullptr && info.st_size < 2 && ReadUpToAt(fd.fd, bom, 1, 0, got) &&
            got == static_cast<std::size_t>(info.st_size)) {
            Sha256Add(hash, bom, got);
            *digest = FileDigest{true, got, Sha256Finish(hash)};
        }
        return;
    }
    if (RefusedForSize(static_cast<std::uint64_t>(info.st_size), path))
        return;
    auto size = static_cast<std::size_t>(info.st_size);
    if (bom[0] == 0xFF && bom[1] == 0xFE) {
        // Converted a piece at a time, so that the UTF-16 text is never held whole.
        exported.owned.reserve(size / 2);
        Sha256Add(hash, bom, 2);
        unsigned char chunk[1 << 16];
        std::size_t carried = 0;
        std::uint64_t offset = 2;
        for (;;) {
            std::size_t got = 0;
            if (!ReadUpToAt(fd.fd, chunk + carried, sizeof chunk - carried, offset, got) || got == 0)
                break;
            Sha256Add(hash, chunk + carried, got);
            offset += got;
            std::size_t have = carried + got;
            std::size_t whole = have & ~static_cast<std::size_t>(1);
            // A high surrogate at the end waits for its partner.
            if (whole >= 2 && chunk[whole - 1] >= 0xD8 && chunk[whole - 1] <= 0xDB)
                whole -= 2;
            AppendUtf16LeAsUtf8(chunk, whole, exported.owned);
            carried = have - whole;
            std::memmove(chunk, chunk + whole, carried);
        }
        AppendUtf16LeAsUtf8(chunk, carried, exported.owned);
        fd.Reset();
        if (digest != nullptr && offset == static_cast<std::uint64_t>(info.st_size))
            *digest = FileDigest{true, offset, Sha256Finish(hash)};
        exported.text = exported.owned;
        IndexText(exported, true, path, -1);
        return;
    }
    // Mapped for the lookups, which read a few pages of it; the pass reads
    // the file through a buffer and leaves the mapping untouched.
    void *mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.fd, 0);
    if (mapping == MAP_FAILED)
        return;
    exported.mapping = mapping;
    exported.mappingSize = size;
    if (digest != nullptr) {
        Sha256Add(hash, mapping, size);
        *digest = FileDigest{true, size, Sha256Finish(hash)};
    }
    exported.text = std::string_view(static_cast<const char *>(mapping), size);
    IndexText(exported, false, path, fd.fd);
}

