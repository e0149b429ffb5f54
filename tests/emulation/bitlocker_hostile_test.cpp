// A Windows-made BitLocker volume (aes-xts-128 of ../shared/real/bitlocker)
// whose metadata is changed as it is read, in every copy with its CRC-32
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
#include "process_run.h"

namespace {

const std::uint64_t CopyAt[3] = {0x2195000, 0x2c1d000, 0x373a000};
const std::size_t CopySize = 0x370; // what its CRC-32 covers
const std::size_t Window = 0x400;
const std::uint64_t Header = ~0ULL; // a row's `copy` for a patch of the volume header

struct Row {
    const char *lie;
    std::uint64_t copy; // Header, or 0 for every copy
    std::size_t at;     // from the start of the copy or of the volume
    std::uint64_t value;
    int width;          // bytes, little-endian; past 8 the value repeats
    bool fixCrc;
    const char *expect; // a fault's words, "NTFS" (opens and reads), or "decrypted"
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
};

std::string dir;

struct Mutated {
    int fd;
    unsigned char header[512];
    unsigned char copies[3][Window];
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
    }
    return got;
}

class BitLockerHostile : public ::testing::TestWithParam<Row> {
protected:
    static void SetUpTestSuite()
    {
        struct stat st;
        if (stat(DOROVIVI_REAL_BITLOCKER, &st) != 0)
            return;
        dir = MakeTempDir("dorovivi-bitlocker-hostile");
        ASSERT_EQ(std::system(("tar xJSf " DOROVIVI_REAL_BITLOCKER "/cryptsetup-bitlk-images.tar.xz -C " + dir +
                               " bitlk-images/bitlk-aes-xts-128.img").c_str()), 0);
    }
    static void TearDownTestSuite() { RemoveTree(dir); }
    void SetUp() override
    {
        const char *ci = std::getenv("CI");
        if (dir.empty() && ci != nullptr && std::string(ci) == "true")
            FAIL() << DOROVIVI_REAL_BITLOCKER " is missing";
        if (dir.empty())
            GTEST_SKIP() << "needs " DOROVIVI_REAL_BITLOCKER;
    }
};

TEST_P(BitLockerHostile, EndsInItsLine)
{
    const Row &row = GetParam();
    Mutated volume;
    volume.fd = open((dir + "/bitlk-images/bitlk-aes-xts-128.img").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(volume.fd, 0);
    ASSERT_EQ(pread(volume.fd, volume.header, sizeof volume.header, 0), 512);
    for (int copy = 0; copy < 3; ++copy) {
        unsigned char *bytes = volume.copies[copy];
        ASSERT_EQ(pread(volume.fd, bytes, Window, static_cast<off_t>(CopyAt[copy])), static_cast<ssize_t>(Window));
        unsigned char *place = row.copy == Header ? (copy == 0 ? volume.header : nullptr) : bytes;
        for (int i = 0; place != nullptr && i < row.width; ++i)
            place[row.at + i] = static_cast<unsigned char>(row.value >> (8 * (i % 8)));
        if (row.fixCrc)
            WriteLe32(bytes + CopySize + FveValidationCrcAt, FveCrc32(bytes, CopySize));
    }
    const char keyText[] = "password:anaconda";
    BitLockerKeys keys;
    BitLockerVolume opened;
    Fault fault;
    ASSERT_TRUE(ParseBitLockerKeys(keyText, sizeof keyText - 1, keys, fault));
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
