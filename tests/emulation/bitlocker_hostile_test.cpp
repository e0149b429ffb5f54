// A Windows-made BitLocker volume (aes-xts-128 of ../shared/real/bitlocker,
// or dissect.fve's eow_partial for its encrypt-on-write blocks) whose
// metadata is changed as it is read, in every copy with its CRC-32
// made to match again unless a row says not: each lie must end in the line
// it names (or still open), never a crash or a read outside the volume.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/posix/base/byte_order.h"
#include "platform/posix/bitlocker/bitlocker_volume.h"
#include "platform/posix/bitlocker/fve_validation.h"
#include "bitlocker_samples.h"
#include "process_run.h"

namespace {

const std::uint64_t CopyAt[3] = {0x2195000, 0x2c1d000, 0x373a000};
const std::size_t CopySize = 0x370; // what its CRC-32 covers
const std::size_t Window = 0x400;
const std::uint64_t Header = ~0ULL; // a row's `copy` for a patch of the volume header
const std::uint64_t Eow = ~1ULL;    // for one of eow_partial's EOW blocks, both information copies alike
const std::uint64_t EowAt = 0x1553a000; // its two information copies, bitmap 0 and its two records
const std::size_t EowWindow = 0x2600;
const struct {
    std::size_t at, size, crcAt;
} EowCrcs[] = {{0, 104, 36}, {0x1000, 104, 36}, {0x2000, 0x200, 56}, {0x2200, 0x200, 32}, {0x2400, 0x200, 32}};

struct Row {
    const char *lie;
    std::uint64_t copy; // Header, or 0 for every copy
    std::size_t at;     // from the start of the copy or of the volume
    std::uint64_t value;
    int width;          // bytes, little-endian; past 8 the value repeats
    bool fixCrc;
    const char *expect; // a fault's words, "NTFS" (opens and reads), or "decrypted"
    bool eow = false;   // read eow_partial (always for Eow rows)
};

const Row Rows[] = {
    {"a copy larger than its area", 0, 8, 0x1000, 2, true, "none of the three copies"},
    {"a copy of an unknown version", 0, 10, 3, 2, true, "none of the three copies"},
    {"a description that no longer matches the CRC", 0, 0x78, 0x41, 1, false, "none of the three copies"},
    {"metadata larger than its copy", 0, 64, 0x1000, 4, true, "metadata header is damaged"},
    {"a metadata header of another size", 0, 72, 0x40, 4, true, "metadata header is damaged"},
    {"an entry larger than what is left", 0, 0x70, 0xFFFF, 2, true, "lists no key protector"},
    {"an entry smaller than its head", 0, 0x70, 4, 2, true, "lists no key protector"},
    {"a protector with no entries of its own", 0, 0xb0, 36, 2, true, "none of the 1 keys given opens it"},
    {"a salt whose entry reaches past its protector", 0, 0xd4, 0x200, 2, true, "none of the 1 keys given opens it"},
    {"a sealed key shorter than its nonce and tag", 0, 0x140, 0x14, 2, true, "none of the 1 keys given opens it"},
    {"a sealed key longer than its protector", 0, 0x140, 0x70, 2, true, "none of the 1 keys given opens it"},
    {"no full volume key", 0, 0x2b2, 9, 2, true, "full volume key does not open"},
    {"an unknown method", 0, 100, 0x8009, 2, true, "a method this program does not know (unknown (0x8009))"},
    {"boot sectors past the end", 0, 0x308, 0x7FFFFFFF0000, 8, true, "boot sectors outside it"},
    {"boot sectors over themselves", 0, 0x308, 0x1000, 8, true, "boot sectors outside it"},
    {"nothing encrypted", 0, 16, 0, 8, true, "decrypted"},
    {"every copy at the first", Header, 184, CopyAt[0], 16, true, "NTFS"},
    {"the first copy at the volume's start", Header, 176, 0, 8, true, "NTFS"},
    {"the first copy past the end", Header, 176, 0xFFFFFFFFFFFF0000, 8, true, "NTFS"},
    {"the first copy off its sector", Header, 176, CopyAt[0] + 1, 8, true, "NTFS"},
    {"every copy past the end", Header, 176, 0xFFFFFFFFFFFF0000, 24, true, "none of the three copies"},
    {"not BitLocker's", Header, 3, 0x534654, 3, true, "no BitLocker volume header"},
    {"no EOW block where the header says", Header, 200, 0x10000, 16, false, "NTFS", true},
    {"the first EOW copy's offset into its middle", Header, 200, EowAt + 8, 8, false, "NTFS", true},
    {"EOW blocks that no longer match their CRC", Eow, 20, 0x400000, 4, false, "neither copy of its BitLocker"},
    {"EOW blocks of another sector size", Eow, 12, 4096, 4, true, "neither copy of its BitLocker"},
    {"chunks that are not whole sectors", Eow, 20, 0x100, 4, true, "neither copy of its BitLocker"},
    {"more regions than bitmap offsets", Eow, 32, 7, 4, true, "neither copy of its BitLocker"},
    {"EOW blocks larger than they are", Eow, 10, 0xFFFF, 2, true, "neither copy of its BitLocker"},
    {"a bitmap off its sector", Eow, 56, EowAt + 0x2001, 8, true, "bitmap 0 fails its checks"},
    {"a bitmap past the end", Eow, 56, 0xFFFFFFFFFFFF0000, 8, true, "bitmap 0 fails its checks"},
    {"a bitmap block of 2 GiB", Eow, 0x200c, 0x7FFFFFFF, 4, true, "bitmap 0 fails its checks"},
    {"a record past its block", Eow, 0x202c, 0x5000, 4, true, "bitmap 0 fails its checks"},
    {"a region larger than its bits", Eow, 0x201c, 0x10000000, 8, true, "bitmap 0 fails its checks"},
    {"a region that wraps round", Eow, 0x2014, 0xFFFFFFFFFFFFF000, 8, true, "bitmap 0 fails its checks"},
    {"a bitmap block that no longer matches its CRC", Eow, 0x2024, 1, 1, false, "bitmap 0 fails its checks"},
    {"regions over each other", Eow, 0x2014, 0x2201000, 8, true, "regions overlap"},
    {"the last record's bits past its size", Eow, 0x2210, 0xFFFFFF, 4, true, "NTFS"},
    {"a conversion log at the end of 2^64", Eow, 0x2024, 0xFFFFFFFFFFFFF000, 8, true, "NTFS"},
};


struct Mutated {
    int fd;
    unsigned char header[512];
    unsigned char copies[3][Window];
    unsigned char eow[EowWindow];
    bool onEow;
};

ssize_t ReadMutated(void *opened, std::uint64_t offset, char *buffer, std::size_t size)
{
    Mutated &volume = *static_cast<Mutated *>(opened);
    ssize_t got = pread(volume.fd, buffer, size, static_cast<off_t>(offset));
    for (ssize_t i = 0; i < got; ++i) {
        std::uint64_t at = offset + static_cast<std::uint64_t>(i);
        if (at < sizeof volume.header)
            buffer[i] = static_cast<char>(volume.header[at]);
        for (int copy = 0; copy < 3; ++copy)
            if (at >= CopyAt[copy] && at - CopyAt[copy] < Window)
                buffer[i] = static_cast<char>(volume.copies[copy][at - CopyAt[copy]]);
        if (volume.onEow && at - EowAt < EowWindow)
            buffer[i] = static_cast<char>(volume.eow[at - EowAt]);
    }
    return got;
}

class BitLockerHostile : public BitLockerSamples, public ::testing::WithParamInterface<Row> {};

TEST_P(BitLockerHostile, EndsInItsLine)
{
    const Row &row = GetParam();
    Mutated volume;
    volume.onEow = row.eow || row.copy == Eow;
    volume.fd = open((dir + (volume.onEow ? "/eow_partial.bin" : "/bitlk-images/bitlk-aes-xts-128.img")).c_str(),
                     O_RDONLY | O_CLOEXEC);
    ASSERT_GE(volume.fd, 0);
    ASSERT_EQ(pread(volume.fd, volume.eow, EowWindow, EowAt), volume.onEow ? static_cast<ssize_t>(EowWindow) : 0);
    ASSERT_EQ(pread(volume.fd, volume.header, sizeof volume.header, 0), 512);
    for (int copy = 0; copy < 3; ++copy) {
        unsigned char *bytes = volume.copies[copy];
        ASSERT_EQ(pread(volume.fd, bytes, Window, static_cast<off_t>(CopyAt[copy])), static_cast<ssize_t>(Window));
        // Both EOW information copies alike; a bitmap's patch once.
        unsigned char *eow = copy == 0 || (copy == 1 && row.at < 0x1000) ? volume.eow + 0x1000 * copy : nullptr;
        unsigned char *place = row.copy == Header ? (copy == 0 ? volume.header : nullptr)
                               : row.copy == Eow  ? eow
                                                  : bytes;
        for (int i = 0; place != nullptr && i < row.width; ++i)
            place[row.at + i] = static_cast<unsigned char>(row.value >> (8 * (i % 8)));
        if (row.fixCrc && !volume.onEow)
            WriteLe32(bytes + CopySize + FveValidationCrcAt, FveCrc32(bytes, CopySize));
    }
    for (const auto &block : EowCrcs) {
        unsigned char *bytes = volume.eow + block.at;
        if (row.fixCrc && volume.onEow)
            WriteLe32(bytes + block.crcAt, FveCrc32Without(bytes, block.size, block.crcAt));
    }
    std::string keyText = volume.onEow ? "password:password12!@" : "password:anaconda";
    BitLockerKeys keys;
    BitLockerVolume opened;
    Fault fault;
    ASSERT_TRUE(ParseBitLockerKeys(keyText.c_str(), keyText.size(), keys, fault));
    bool open = OpenBitLockerVolume(ReadMutated, &volume, static_cast<std::uint64_t>(lseek(volume.fd, 0, SEEK_END)),
                                    keys, opened, fault);
    std::string expect = row.expect;
    if (expect == "NTFS" || expect == "decrypted") {
        ASSERT_TRUE(open) << row.lie << ": " << fault.words;
        char first[16] = {};
        EXPECT_EQ(ReadBitLockerVolume(&opened, 0, first, sizeof first), 16);
        EXPECT_EQ(opened.decrypted, expect == "decrypted");
        EXPECT_TRUE(expect == "decrypted" || std::string(first + 3, 4) == "NTFS");
    } else {
        EXPECT_FALSE(open) << row.lie;
        EXPECT_NE(fault.words.find(expect), std::string::npos) << row.lie << ": " << fault.words;
        EXPECT_EQ(fault.words.find('\n'), std::string::npos);
    }
    CloseBitLockerVolume(opened);
    WipeBitLockerKeys(keys);
    close(volume.fd);
}

INSTANTIATE_TEST_SUITE_P(Metadata, BitLockerHostile, ::testing::ValuesIn(Rows));

} // namespace
