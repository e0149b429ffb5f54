// Files read by position: the page cache must give what lies below it byte
// for byte, whatever the read's place, size and order.
#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <string>

#include "platform/posix/base/cached_file_bytes.h"

namespace {

// Counts the reads that reach the file below.
struct CountingBytes final : FileBytes {
    explicit CountingBytes(const std::string &data) : memory(data.data(), data.size()) {}
    bool ReadAt(std::uint64_t at, void *buffer, std::size_t size) const override
    {
        ++reads;
        return memory.ReadAt(at, buffer, size);
    }
    std::uint64_t Size() const override { return memory.Size(); }
    MemoryFileBytes memory;
    mutable int reads = 0;
};

TEST(CachedFileBytes, GivesWhatLiesBelowAndReadsEachPageOnce)
{
    std::string data(5 * kCachedPageSize + 123, '\0'); // the last page is short
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7 + i / 4096);
    auto below = std::make_shared<CountingBytes>(data);
    CachedFileBytes cached(below);
    struct Case {
        std::uint64_t at;
        std::size_t size;
        bool read;
        int belowReads; // reads that reached the file, counted from the first row
    };
    const Case cases[] = {
        {0, 16, true, 1},
        {8, 8, true, 1},                          // the same page: no read below
        {kCachedPageSize - 4, 8, true, 2},        // across a page boundary
        {kCachedPageSize, 4096, true, 2},         // a whole page already held
        {5 * kCachedPageSize, 123, true, 3},      // the short last page
        {5 * kCachedPageSize + 100, 24, false, 3}, // past the end
        {data.size(), 0, true, 3},
        {0, 5 * kCachedPageSize, true, 4},        // too large to keep: straight below
        {(kCachedPages + 0) * kCachedPageSize, 1, false, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.at) + "+" + std::to_string(c.size));
        std::string got(c.size, '\0');
        ASSERT_EQ(cached.ReadAt(c.at, &got[0], c.size), c.read);
        if (c.read) {
            EXPECT_EQ(got, data.substr(c.at, c.size));
        }
        EXPECT_EQ(below->reads, c.belowReads);
    }
    // Two pages that share a slot take turns in it.
    std::string one(1, '\0');
    std::string far(5 * kCachedPageSize + 123 + kCachedPages * kCachedPageSize, 'x');
    auto wide = std::make_shared<CountingBytes>(far);
    CachedFileBytes turns(wide);
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(turns.ReadAt(0, &one[0], 1));
        ASSERT_TRUE(turns.ReadAt(kCachedPages * kCachedPageSize, &one[0], 1));
    }
    EXPECT_EQ(wide->reads, 6);
}

TEST(FileBytes, LibrariesThatOpenByNameGetTheSameBytes)
{
    std::string data = "CREG and then some bytes";
    MemoryFileBytes memory(data.data(), data.size());
    Fault fault;
    int fd = DescriptorNaming(memory, 1024, fault);
    ASSERT_GE(fd, 0) << fault.words;
    std::string got(data.size(), '\0');
    EXPECT_EQ(pread(fd, &got[0], got.size(), 0), static_cast<ssize_t>(data.size()));
    EXPECT_EQ(got, data);
    close(fd);
    EXPECT_EQ(DescriptorNaming(memory, 8, fault), -1);
    EXPECT_EQ(fault.words.rfind("larger than ", 0), 0u) << fault.words;
}

} // namespace
