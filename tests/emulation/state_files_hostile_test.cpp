// Damaged rp.log files and ScanReg cabinets: each refused in its own words,
// never read past its bytes. Cabinets come from gcab and are damaged here.
#include <gtest/gtest.h>

#include "platform/posix/root/cabinet_header.h"
#include "platform/posix/root/restore_point_log.h"
#include "platform/posix/sources/cabinet_member.h"
#include "process_run.h"

namespace {

std::string Le(std::uint64_t value, int size)
{
    std::string bytes;
    for (int i = 0; i < size; ++i)
        bytes += static_cast<char>(value >> (8 * i) & 0xff);
    return bytes;
}

std::string RpLog(const std::string &description, std::uint64_t created, std::size_t size = 528)
{
    std::string log = Le(100, 4) + Le(12, 4) + Le(7, 8);
    for (char c : description)
        log += std::string(1, c) + '\0';
    log.resize(size, '\0');
    return log + Le(created, 8);
}

TEST(StateFilesHostile, RestorePointLogs)
{
    const struct {
        const char *what;
        std::string bytes;
        const char *words; // nullptr: read
    } cases[] = {
        {"as XP writes it", RpLog("Installed driver", 127226088000000000ull), nullptr},
        {"the least there is", RpLog("", 127226088000000000ull, 18), nullptr},
        {"cut before its time", std::string(20, 'x'), "rp.log of 20 bytes, not 26 to 4096"},
        {"far too long", RpLog("x", 1, 5000), "rp.log of 5008 bytes, not 26 to 4096"},
        {"a description without its end", RpLog(std::string(300, 'A'), 1), "not ended within its 512 bytes"},
        {"a description running into the time", RpLog(std::string(5, 'A'), 1, 26), "not ended within its 10 bytes"},
        {"no creation time", RpLog("x", 0), "rp.log records no creation time"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        RestorePointLog log;
        Fault fault;
        bool read = ReadRestorePointLog(reinterpret_cast<const unsigned char *>(c.bytes.data()), c.bytes.size(), log,
                                        fault);
        EXPECT_EQ(read, c.words == nullptr) << fault.words;
        if (c.words != nullptr) {
            EXPECT_NE(fault.words.find(c.words), std::string::npos) << fault.words;
        } else {
            EXPECT_EQ(log.created, 127226088000000000ull);
        }
    }
}

TEST(StateFilesHostile, Cabinets)
{
    std::string dir = MakeTempDir("dorovivi-cabinets");
    std::string member(70000, '\0');
    for (std::size_t i = 0; i < member.size(); ++i)
        member[i] = static_cast<char>(i * 7 % 251);
    WriteFile(dir + "/SYSTEM.DAT", member);
    WriteFile(dir + "/WIN.INI", "[windows]\r\n");
    ASSERT_EQ(RunProcess({"/usr/bin/gcab", "-c", "-n", dir + "/plain.cab", dir + "/WIN.INI", dir + "/SYSTEM.DAT"}, {})
                  .exitCode, 0);
    ASSERT_EQ(RunProcess({"/usr/bin/gcab", "-c", "-z", "-n", dir + "/zip.cab", dir + "/SYSTEM.DAT"}, {}).exitCode, 0);
    const std::string plain = ReadFile(dir + "/plain.cab"), zip = ReadFile(dir + "/zip.cab");
    RemoveTree(dir);
    auto patched = [](std::string bytes, std::size_t at, const std::string &with) {
        return bytes.replace(at, with.size(), with);
    };
    std::size_t entry = static_cast<unsigned char>(plain[16]); // the first CFFILE
    const struct {
        const char *what;
        std::string bytes;
        const char *header; // FindCabinetMember's words; nullptr: found
        const char *member; // CabinetMemberFile's; nullptr: the member comes out whole
    } cases[] = {
        {"stored", plain, nullptr, nullptr},
        {"compressed", zip, nullptr, nullptr},
        {"no signature", patched(plain, 0, "MSCG"), "not a cabinet", "not a cabinet"},
        {"cut in its data", plain.substr(0, plain.size() / 2), nullptr, "cut short"},
        {"a data byte changed", patched(plain, plain.size() - 100, "\x55\xaa"), nullptr, "checksum is wrong"},
        {"compressed data changed", patched(zip, zip.size() / 2, "\xff\xff\xff\xff"), nullptr, nullptr},
        {"no SYSTEM.DAT", patched(plain, plain.find("SYSTEM.DAT"), "SYSTEM.DAX"), "holds no", "holds no"},
        {"a member past 64 MiB", patched(plain, plain.find("SYSTEM.DAT") - 16, Le(1u << 30, 4)), nullptr,
         "larger than 64 MiB"},
        {"more entries than written", patched(plain.substr(0, entry + 20), 28, Le(9, 2)), "file entry 1", ""},
        // libmspack reads the entries where they follow the folders, whatever the header says.
        {"entries said to lie past the end", patched(plain, 16, Le(0x7fffffff, 4)), "lies past its first", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        CabinetMember found;
        Fault fault;
        bool listed = FindCabinetMember(reinterpret_cast<const unsigned char *>(c.bytes.data()), c.bytes.size(),
                                        "system.dat", found, fault);
        EXPECT_EQ(listed, c.header == nullptr) << fault.words;
        if (c.header != nullptr) {
            EXPECT_NE(fault.words.find(c.header), std::string::npos) << fault.words;
        }
        RegistryFile cabinet{"RB000.CAB", std::make_shared<MemoryFileBytes>(c.bytes.data(), c.bytes.size()), ""};
        RegistryFile read = CabinetMemberFile(cabinet, "system.dat");
        if (c.member == nullptr && std::string(c.what) != "compressed data changed") {
            ASSERT_TRUE(read.Open()) << read.unopened;
            std::string got(read.bytes->Size(), '\0');
            EXPECT_TRUE(read.bytes->ReadAt(0, &got[0], got.size()));
            EXPECT_EQ(got, member);
        } else if (c.member != nullptr) {
            EXPECT_FALSE(read.Open());
            EXPECT_NE(read.unopened.find(c.member), std::string::npos) << read.unopened;
        }
    }
}

} // namespace
