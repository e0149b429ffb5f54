// BitLocker volumes Windows made (../shared/real/bitlocker), read through
// the layer: each must open with its key and read as the volume the other
// readers decrypted (images.conf's digests; NTFS or FAT at the start and the
// MFT at 0x2000 where the volume was cut short). The facts are bdeinfo's and
// bitlkDump's, where those read the volume.
#include <gtest/gtest.h>

#include <cctype>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/posix/bitlocker/crypto_functions.h"
#include "platform/posix/bitlocker/bitlocker_volume.h"
#include "bitlocker_samples.h"
#include "process_run.h"

namespace {

const char Conf[] = "bitlk-images/";
const char Pw[] = "password:anaconda";

struct Row {
    const char *file; // under the cryptsetup tarball's folder, or dissect.fve's (.bin)
    const char *keys; // the keys file's text
    const char *check; // a SHA-256 of the whole volume, "ntfs" (and FILE0 at 0x2000), "boot" or a fault
    const char *method, *description, *protectors;
    int openedBy;
    // Offsets that must read as zeros ("0x1000:0") or not ("0x1000:x"): plain
    // zeros on disk read as they lie, encrypted ones decrypt to noise.
    const char *probes = "";
};

const Row Rows[] = {
    {"bitlk-aes-cbc-128.img", Pw, "04500a8120ba355ed206284e03e26e59b7e1f1832868e1d69bb47023ebd3460f", "AES 128",
     "DESKTOP-NPM7RCA F: 7/3/2019", "password, recovery password 3FD763F9", 0},
    {"bitlk-aes-cbc-256.img", "recovery:616319-601744-502117-534017-367994-176748-607299-663201",
     "35809d6db53c7ad8ff36195277b328370ea5df2c1f7003c20e07b64133d8800b", "AES 256", "DESKTOP-NPM7RCA G: 8/15/2019",
     "password, recovery password B9859A34", 1},
    {"bitlk-aes-cbc-elephant-128.img", Pw, "b18e4f956295bc0f327e551322261fb9c74ac0d3ce58bf3b806e98474e1619ea",
     "AES 128 with Diffuser", "WIN-TR6JK2CTSJC New Volume 8/13/2019", "recovery password B4454890, password", 1},
    {"bitlk-aes-cbc-elephant-256.img", "recovery:618871562507462814555324264660562727105171668195",
     "0af06f010fe21522bdd77f8d2d3cb0ad5fceaf2729295ff0fd50e65adfa0b7b3", "AES 256 with Diffuser",
     "WIN-TR6JK2CTSJC New Volume 8/13/2019", "password, recovery password 707C5E8C", 1},
    {"bitlk-aes-xts-128.img", Pw, "674e3a976927fd62f3fc26df2c695cac75b8d364e3b45393717efa971f16db0f", "XTS-AES 128",
     "DESKTOP-NPM7RCA H: 7/4/2019", "password, recovery password 64311DEA", 0},
    {"bitlk-aes-xts-256.img", "recovery:404558-436711-420860-678557-638220-018909-039941-695321",
     "5bb6ff5acbded10be990c6fa208ab479934a08bc2e88740a1aa2642af2f42025", "XTS-AES 256", "DESKTOP-NPM7RCA F: 8/15/2019",
     "password, recovery password 83ABDB8F", 1},
    {"bitlk-aes-cbc-128-4k.img", Pw, "2bf0ee1198cfcc95654636c045f72a91727f7d5b1208db88eafb77ac65b60109", "AES 128",
     "DESKTOP-LG39GVP New Volume 05/05/2020", "password, recovery password 218A3504", 0},
    {"bitlk-aes-xts-128-4k.img", "recovery:486552-140030-675719-163900-264671-413787-580239-152614",
     "b4c0416ae643537207413ed78d4bcadae697bb86a6262864ac00afda01312277", "XTS-AES 128",
     "DESKTOP-LG39GVP New Volume 01/05/2020", "password, recovery password 69A49AD2", 1},
    {"bitlk-aes-xts-128-clearkey-only.img", "", "f574a5254d31e9f27dc4ee440290875886c6c569cf02dc100e91a5c0cddaa4e1",
     "XTS-AES 128", "WIN11 F: 05/11/2025", "clear key", 0},
    {"bitlk-aes-xts-128-crc.img", Pw, "674e3a976927fd62f3fc26df2c695cac75b8d364e3b45393717efa971f16db0f", "XTS-AES 128",
     "DESKTOP-NPM7RCA H: 7/4/2019", "password, recovery password 64311DEA", 0},
    {"bitlk-aes-xts-128-eow.img", Pw, "boot", "XTS-AES 128", "DESKTOP-B727RA0 E: 30/01/2020",
     "password, recovery password 2565364C", 0},
    {"bitlk-aes-xts-128-first-recovery.img", "recovery:097702-694144-563057-330462-534446-240086-680515-664389",
     "61942bde31a461b5e54e2aa154a8ae6479c514400e29fcaeb9fbd7b9fe0ce862", "XTS-AES 128", "WIN11 F: 11/01/2026",
     "recovery password E76C7AB2, password", 0},
    {"bitlk-aes-xts-128-new-entry.img", Pw, "794163062398ae43b796f85eafde8acf5dc7830a93ec2aa7ef0c6baaa14b2757",
     "XTS-AES 128", "DESKTOP-B727RA0 F: 05/11/2019", "password, recovery password 927BD960", 0},
    {"bitlk-aes-xts-128-smart-card.img", "recovery:538329-080597-399190-348700-323345-161062-279807-230978",
     "007de1a342f49a15f97712f634aa1684e1d8c24e220652fc9796b22421413268", "XTS-AES 128",
     "DESKTOP-B727RA0 H: 12/11/2019", "smart card, recovery password 1F9DA098", 1},
    {"bitlk-aes-xts-128-startup-key.img", "bek:4381F759-C4F8-4DE0-BB61-FC33A831BDA5.BEK",
     "bbb68369d8f7badb2c2330349d9d0cf12e68f54eece25e718d2bb13feba23f7a", "XTS-AES 128",
     "DESKTOP-LG39GVP E: 15/09/2020", "password, recovery password 294BC732, startup key", 2},
    {"bitlk-aes-xts-128-startup-key-win11.img", "bek:AA80A52B-9B66-47AE-B097-33F536FFBB07.BEK",
     "76539fdf098cb3b9d15e318d34eace9da8645b8087282adac800094c59df6347", "XTS-AES 128", "WIN11 E: 28/11/2021",
     "password, recovery password 79342515, startup key", 2},
    {"bitlk-aes-xts-128-two-recovery.img", "password:anaconda!\nrecovery:297693-343387-338492-284526-405482-424886-634931-555093",
     "15570b2a7a1255e2d0f34a0ff82b6e255d8a7e25c24c7849c91321bcb1858cb3", "XTS-AES 128", "WIN11 New Volume 09/03/2025",
     "password, recovery password E7E48BAE, recovery password B7ADC334", 2},
    {"bitlk-aes-xts-128-unicode.img", "# the pound sign is two bytes of UTF-8\npassword:anaconda\xc2\xa3",
     "8af59ba83928e7920d61696bb3d5392243a1d5c5f4178195cb32b0f21e706af0", "XTS-AES 128", "WIN11 New Volume 29/07/2025",
     "password, recovery password 4CE0C2E1", 0},
    {"bitlk-partially-encrypted-aes-cbc-128.img", "", "boot", "AES 128", "DESKTOP-NPM7RCA I: 8/15/2019",
     "password, recovery password BF563C45, clear key", 2},
    {"bitlk-togo-aes-cbc-128.img", Pw, "3fb19a2b9cf89962216cc7b27f7127ea7f241c39b7b340d7431a232f81c36eb1", "AES 128",
     "DESKTOP-NPM7RCA G: 7/3/2019", "password, recovery password 7B15C1AF", 0},
    {"bitlk-togo-aes-xts-128.img", "recovery:243067-548680-059818-148852-287771-550088-628265-631653",
     "5954795eb41764b59a10d86c26fd3b43fb6d89f433c8edc1e8fd48067d198591", "XTS-AES 128",
     "DESKTOP-NPM7RCA G: 10/18/2019", "password, recovery password CFC68DDA", 1},
    {"bitlk-aes-xts-128.img", "password:anaconda1", "none of the 1 keys given opens it", "XTS-AES 128",
     "DESKTOP-NPM7RCA H: 7/4/2019", "password, recovery password 64311DEA", -1},
    {"bitlk-aes-xts-128.img", "", "no key was given", "XTS-AES 128", "DESKTOP-NPM7RCA H: 7/4/2019",
     "password, recovery password 64311DEA", -1},
    {"aes_128.bin", "password:password12!@", "ntfs", "AES 128", "DESKTOP-QNI1MMF TestVolume 10/8/2021", "password", 0},
    {"aes_256.bin", "password:password12!@", "ntfs", "AES 256", "DESKTOP-QNI1MMF TestVolume 10/8/2021", "password", 0},
    {"aes_128_diffuser.bin", "password:password12!@", "ntfs", "AES 128 with Diffuser", "USER-PC TestVolume 10/24/2021",
     "password", 0},
    {"aes_256_diffuser.bin", "password:password12!@", "ntfs", "AES 256 with Diffuser", "USER-PC TestVolume 10/24/2021",
     "password", 0},
    {"aes-xts_128.bin", "password:password12!@", "ntfs", "XTS-AES 128", "DESKTOP-QNI1MMF TestVolume 10/8/2021",
     "password", 0},
    {"aes-xts_256.bin", "password:password12!@", "ntfs", "XTS-AES 256", "DESKTOP-QNI1MMF TestVolume 10/8/2021",
     "password", 0},
    {"recovery_password.bin", "recovery:284867-596541-514998-422114-660297-261613-215424-199408", "ntfs",
     "XTS-AES 128", "DESKTOP-QNI1MMF TestVolume 10/8/2021", "recovery password 3C116B76, password", 0},
    {"recovery_key.bin", "bek:recovery_key.bek", "ntfs", "XTS-AES 128", "DESKTOP-QNI1MMF TestVolume 10/8/2021",
     "startup key, password", 0},
    {"suspended.bin", "", "ntfs", "XTS-AES 128", "DESKTOP-QNI1MMF TestVolume 10/24/2021", "clear key", 0},
    {"decrypted.bin", "", "ntfs", "none", "", "", -1, "0x2212000:0"}, // its EOW block
    {"vista.bin", "recovery:517506-503998-044583-576191-587004-635965-501270-087802", "boot", "AES 128 with Diffuser",
     "USER-PC C: 10/21/2021", "startup key, recovery password B59C92D8", 1},
    {"win7_partial.bin", "", "ntfs", "AES 256", "USER-PC C: 10/21/2021",
     "startup key, recovery password 8F716353, clear key", 2},
    // Its bitmaps: chunk 20 of the region at 0x2202000 (8 MiB chunks) is the first
    // encrypted; a metadata copy at 0x93f0000; the EOW block, a bitmap and its log.
    {"eow_partial.bin", "password:password12!@", "ntfs", "AES 128", "DESKTOP-QNI1MMF TestVolume 10/12/2021",
     "password", 0, "0x93f0000:0 0xc201e00:0 0xc202000:x 0x1553a000:0 0x1553c000:0 0x1553d000:0"},
};


ssize_t ReadFile(void *fd, std::uint64_t offset, char *buffer, std::size_t size)
{
    return pread(*static_cast<int *>(fd), buffer, size, static_cast<off_t>(offset));
}

std::string Protectors(const BitLockerVolume &volume)
{
    std::string list;
    for (const BitLockerProtectorFacts &p : volume.protectors)
        list += (list.empty() ? "" : ", ") + p.kind + (p.keyId.empty() ? "" : " " + p.keyId);
    return list;
}

std::string Check(BitLockerVolume &volume, const std::string &check)
{
    std::vector<char> buffer(1 << 20);
    if (check.size() != 64) {
        ReadBitLockerVolume(&volume, 0, buffer.data(), 0x2008);
        std::string at0(buffer.data() + 3, 8), mft(buffer.data() + 0x2000, 5);
        return at0 + (check == "ntfs" ? mft : "");
    }
    // libcrypto's hash, which the sanitizers leave alone: 2 GB through ours took minutes under them.
    Fault fault;
    const CryptoFunctions *crypto = CryptoLibrary(fault);
    SHA256_CTX hash;
    crypto->sha256_init(&hash);
    for (std::uint64_t at = 0; at < volume.size;) {
        ssize_t got = ReadBitLockerVolume(&volume, at, buffer.data(), buffer.size());
        if (got <= 0)
            return "a read failed at " + std::to_string(at);
        crypto->sha256_update(&hash, buffer.data(), static_cast<std::size_t>(got));
        at += static_cast<std::uint64_t>(got);
    }
    unsigned char digest[32];
    crypto->sha256_final(digest, &hash);
    std::string hex;
    for (unsigned char byte : digest)
        hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
    return hex;
}

class BitLockerVolumes : public BitLockerSamples, public ::testing::WithParamInterface<Row> {};

TEST_P(BitLockerVolumes, OpenAndRead)
{
    const Row &row = GetParam();
    std::string file = std::strstr(row.file, ".img") != nullptr ? dir + "/" + Conf + row.file : dir + "/" + row.file;
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0) << file;
    BitLockerKeys keys;
    Fault fault;
    ASSERT_TRUE(ParseBitLockerKeys(row.keys, std::strlen(row.keys), keys, fault)) << fault.words;
    for (BitLockerKey &key : keys.keys) {
        if (key.kind != BitLockerKeyKind::StartupKey)
            continue;
        std::string bek = dir + "/" + (std::strstr(row.file, ".img") != nullptr ? Conf : "") + key.path;
        int keyFd = open(bek.c_str(), O_RDONLY | O_CLOEXEC);
        unsigned char bytes[4096];
        ssize_t got = read(keyFd, bytes, sizeof bytes);
        close(keyFd);
        ASSERT_TRUE(SetStartupKeyFile(key, bytes, got > 0 ? static_cast<std::size_t>(got) : 0, fault)) << fault.words;
    }
    BitLockerVolume volume;
    bool opened = OpenBitLockerVolume(ReadFile, &fd, static_cast<std::uint64_t>(lseek(fd, 0, SEEK_END)), keys,
                                      volume, fault);
    std::string check = row.check;
    EXPECT_EQ(volume.method, row.method);
    EXPECT_EQ(volume.description, row.description);
    EXPECT_EQ(Protectors(volume), row.protectors);
    EXPECT_EQ(volume.unlockedBy, row.openedBy);
    if (check.find(' ') != std::string::npos) {
        EXPECT_FALSE(opened);
        EXPECT_NE(fault.words.find(check), std::string::npos) << fault.words;
    } else {
        ASSERT_TRUE(opened) << fault.words;
        std::string expected = check == "ntfs" ? "NTFS    FILE0" : check == "boot" ? "NTFS    " : check;
        EXPECT_EQ(Check(volume, check), expected);
    }
    for (const char *probe = row.probes; *probe != '\0';) {
        char *end = nullptr, sector[512] = {};
        std::uint64_t at = std::strtoull(probe, &end, 16);
        EXPECT_EQ(ReadBitLockerVolume(&volume, at, sector, sizeof sector), 512) << probe;
        bool zeros = std::count(sector, sector + sizeof sector, 0) == sizeof sector;
        EXPECT_EQ(zeros, end[1] == '0') << std::hex << at;
        probe = end[2] == ' ' ? end + 3 : end + 2;
    }
    CloseBitLockerVolume(volume);
    WipeBitLockerKeys(keys);
    close(fd);
}

void PrintTo(const Row &row, std::ostream *out)
{
    *out << row.file;
}

// Named by the volume and the row, so that a failure says which.
INSTANTIATE_TEST_SUITE_P(Real, BitLockerVolumes, ::testing::ValuesIn(Rows), [](const ::testing::TestParamInfo<Row> &info) {
    std::string name = std::to_string(info.index) + "_" + info.param.file;
    for (char &c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});

} // namespace
