// The pass over a .reg text: the lists reserved, then the text indexed from
// memory or, for a mapped file, read through a small buffer.
#include <sys/mman.h>

#include <cstring>

#include "platform/posix/base/fd_io.h"
#include "platform/posix/sources/reg_export_pass.h"

namespace {

// Asks for huge pages under a list's reserved storage: the pass fills tens of
// megabytes at 100 MB of text, and a fault per 4 KiB page of it cost a third
// of the CPU time. Only whole 2 MiB pages inside the storage are advised.
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

void IndexRegSections(RegExport &exported, int fd, std::uint64_t fileOffset)
{
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
    IndexState state;
    const char *newline = static_cast<const char *>(std::memchr(exported.text.data(), '\n', size));
    if (newline == nullptr)
        return;
    std::size_t base = static_cast<std::size_t>(newline - exported.text.data());
    if (fd < 0) {
        IndexLines(exported, state, newline, base, size - base);
    } else {
        // A mapped file is read through a small buffer instead: memchr over
        // the mapping measured three times slower than read() and memchr
        // (page faults, TLB misses), and the lookups after the pass touch
        // only the pages they read. A buffer starts at the line end before
        // its first line, so its lines are whole.
        std::vector<char> buffer(std::size_t(1) << 17);
        std::size_t have = 0;
        for (;;) {
            std::size_t want = buffer.size() - have;
            if (want > size - base - have)
                want = size - base - have;
            std::size_t got = 0;
            if (want == 0 || !ReadUpToAt(fd, buffer.data() + have, want, fileOffset + base + have, got))
                got = 0;
            have += got;
            bool last = got == 0 || base + have >= size;
            const char *lineEnd = last ? nullptr : static_cast<const char *>(memrchr(buffer.data(), '\n', have));
            if (lineEnd == buffer.data()) {
                buffer.resize(buffer.size() * 2); // a line longer than the buffer
                continue;
            }
            std::size_t length = last ? have : static_cast<std::size_t>(lineEnd - buffer.data()) + 1;
            if (!IndexLines(exported, state, buffer.data(), base, length) || last)
                break;
            state.previous.Keep();
            have -= length - 1;
            std::memmove(buffer.data(), buffer.data() + length - 1, have);
            base += length - 1;
        }
    }
    if (state.inMachineSection)
        exported.sections.back().bodyEnd = static_cast<std::uint32_t>(size);
}
