// The shipped binary over an NT or Windows 98 drive whose registry files
// are damaged, of another kind, or not files at all.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "creg_writer.h"
#include "process_run.h"
#include "regf_writer.h"
#include "scenarios.h"

namespace {

// An NT drive whose SYSTEM hive (or SOFTWARE hive) is replaced by `damage`
// of a good one, or by a hive of another kind: one line naming the file and
// the fault in the format's words, and the empty answer, or where hivex reads
// past the fault, the answer from what is there.
TEST(DamagedInstallation, AnswersAsAnEmptyRegistryWithOneMessage)
{
    using namespace scenario;
    RegistryFixture system = {{"Select", {{"Current", REG_DWORD, std::string("\1\0\0\0", 4)}}},
                              {"ControlSet001\\Services\\TESRO411\\Parameters",
                               {{"VendorDescription", REG_SZ, std::string(Adapter) + '\0'},
                                {"DesiredSSID", REG_SZ, std::string("NtNet\0", 6)}}}};
    std::string scratch = MakeTempDir("dorovivi-hive");
    ASSERT_TRUE(WriteRegfHive(system, scratch + "/SYSTEM"));
    const std::string good = ReadFile(scratch + "/SYSTEM");
    auto withChecksum = [](std::string hive) {
        std::uint32_t sum = 0;
        for (std::size_t at = 0; at < 0x1FC; at += 4)
            sum ^= static_cast<std::uint32_t>(static_cast<unsigned char>(hive[at])) |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(hive[at + 1])) << 8 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(hive[at + 2])) << 16 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(hive[at + 3])) << 24;
        for (int i = 0; i < 4; ++i)
            hive[0x1FC + i] = static_cast<char>(sum >> (8 * i));
        return hive;
    };
    auto patched = [&](std::size_t at, const std::string &bytes) {
        std::string hive = good;
        hive.replace(at, bytes.size(), bytes);
        return withChecksum(hive);
    };
    RegistryFixture software = {
        {"Microsoft\\Windows NT\\CurrentVersion", {{"CurrentVersion", REG_SZ, std::string("5.1\0", 4)}}}};
    ASSERT_TRUE(WriteRegfHive(software, scratch + "/SOFTWARE"));
    const std::string goodSoftware = ReadFile(scratch + "/SOFTWARE");
    // Hives of other kinds, by the keys at their root.
    auto hiveOf = [&](const RegistryFixture &keys) {
        EXPECT_TRUE(WriteRegfHive(keys, scratch + "/other"));
        return ReadFile(scratch + "/other");
    };
    std::string binsSize = good.substr(0x28, 4);
    binsSize[1] = static_cast<char>(binsSize[1] + 0x10); // 4096 bytes more than the file holds
    struct Case {
        const char *what;
        const char *file; // which hive is damaged, or "SYSTEM.DAT"
        std::string bytes; // "" with `fifo` false: an empty file
        const char *reason; // in the one line; nullptr: not judged
        bool fifo = false;
        bool readable = false; // SYSTEM is read: damage hivex reads past, or SOFTWARE's
        const char *windows = "WINNT";
        bool silent = false; // no line: nothing damaged is read
    };
    const Case cases[] = {
        {"empty SYSTEM", "SYSTEM", "", ": empty file; read as an empty hive"},
        {"only the base block", "SYSTEM", good.substr(0, 4096), ": cut short: 4096 bytes, where its base block declares"},
        {"cut inside the bin", "SYSTEM", good.substr(0, 4096 + 200), ": cut short: 4296 bytes"},
        {"bad checksum", "SYSTEM", good.substr(0, 0x30) + "X" + good.substr(0x31),
         ": dirty hive, not replayed (no transaction log beside it); its base block fails its checksum;"},
        {"root cell out of the file", "SYSTEM", patched(0x24, std::string("\0\0\0\x7F", 4)),
         ": its root key cannot be read (an offset, hive bin offset 0x7f000000 (file offset 0x7f001000), past the hive "
         "bins its base block declares); read as an empty hive"},
        {"bin size past the end", "SYSTEM", patched(4096 + 8, std::string("\0\0\0\x10", 4)),
         ": its root key cannot be read (no sound hive bin holds the cell at hive bin offset 0x20 (file offset "
         "0x1020)); read as an empty hive"},
        // Damage is named where a lookup reaches it, and only there.
        {"the adapter's key not a key", "SYSTEM", patched(good.find("TESRO411") - 76, "xx"),
         ": damaged hive (the cell at hive bin offset 0x"},
        {"bins size past the end", "SYSTEM", patched(0x28, std::string("\0\0\0\x10", 4)),
         ": cut short: 12288 bytes, where its base block declares 268439552 (268435456 of hive bins); keys past the end "
         "read as missing", false, true},
        {"declared bins past the last bin, zeros after it, never reached", "SYSTEM",
         patched(0x28, binsSize) + std::string(4096, '\0'), nullptr, false, true, "WINNT", true},
        {"format version 2", "SYSTEM", patched(0x14, std::string("\2\0\0\0", 4)),
         ": hive format version 2.3, where every NT hive is 1.x"},
        {"a transaction log as SYSTEM", "SYSTEM", patched(0x1C, std::string("\1\0\0\0", 4)),
         ": a transaction log, not a hive (file type 1)"},
        {"garbage SOFTWARE", "SOFTWARE", std::string(8192, '\xA5'),
         ": not a registry hive (no regf signature); read as an empty hive", false, true},
        {"a SAM hive as SYSTEM", "SYSTEM", hiveOf({{"SAM\\Domains\\Account", {}}}),
         ": not a SYSTEM hive: its root key ROOT holds no Select and no ControlSet key, but SAM; read as an empty hive"},
        {"an NTUSER.DAT as SYSTEM", "SYSTEM", hiveOf({{"Control Panel\\Desktop", {}}, {"Environment", {}},
                                                      {"Software\\Microsoft", {}}}),
         ": not a SYSTEM hive: its root key ROOT holds no Select and no ControlSet key, but Control Panel, Environment, "
         "Software; read as an empty hive"},
        {"a BCD store as SYSTEM", "SYSTEM", hiveOf({{"Description", {}}, {"Objects", {}}}),
         ": not a SYSTEM hive: its root key ROOT holds no Select and no ControlSet key, but Description, Objects; read as "
         "an empty hive"},
        {"Select without a control set", "SYSTEM", hiveOf({{"Select", {}}}),
         ": not a SYSTEM hive: its root key ROOT holds no ControlSet key, but Select; read as an empty hive"},
        {"SYSTEM as SOFTWARE", "SOFTWARE", good,
         ": not a SOFTWARE hive: its root key ROOT holds no Microsoft key, but ControlSet001, Select; read as an empty hive",
         false, true},
        {"SYSTEM is a FIFO", "SYSTEM", "", ": not a regular file; read as an empty hive", true},
        {"SYSTEM.DAT is a FIFO", "SYSTEM.DAT", "", nullptr, true},
        {"SYSTEM.DAT cut short", "SYSTEM.DAT", WriteCregFile({}).substr(0, 40),
         ": truncated: 40 bytes, where its headers alone take 64; reading an empty registry"},
        {"a USER.DAT as SYSTEM.DAT", "SYSTEM.DAT",
         WriteCregFile({{"AppEvents\\Schemes", {}}, {"Control Panel\\Desktop", {}}, {"Software\\Microsoft", {}}}, true),
         ": not a SYSTEM.DAT: no Config, Enum or System key at its top"},
        {"a line end in the Windows directory's name", "SYSTEM", "", ": empty file; read as an empty hive", false, false,
         "WIN\r\nNT"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::string drive = MakeTempDir("dorovivi-damaged");
        std::string damaged;
        if (std::string(c.file) == "SYSTEM.DAT") {
            mkdir((drive + "/WINDOWS").c_str(), 0755);
            damaged = drive + "/WINDOWS/SYSTEM.DAT";
        } else {
            std::string windows = drive + "/" + c.windows;
            std::string config = windows + "/system32/config";
            for (const std::string &dir : {windows, windows + "/system32", config})
                mkdir(dir.c_str(), 0755);
            WriteFile(config + "/SYSTEM", good);
            WriteFile(config + "/SOFTWARE", goodSoftware);
            damaged = config + "/" + c.file;
        }
        unlink(damaged.c_str());
        if (c.fifo)
            mkfifo(damaged.c_str(), 0644);
        else
            WriteFile(damaged, c.bytes);
        std::string outside = MakeTempDir("dorovivi-damaged-run");
        std::string errors = outside + "/stderr";
        std::vector<std::string> env = {"DOROVIVI_ROOT=" + drive, "DOROVIVI_ATOMS=" + outside + "/atoms"};
        ProcessResult result = RunProcess({DOROVIVI_BINARY, "H"}, env, errors);
        std::string message = ReadFile(errors);
        EXPECT_EQ(TracedStderrFault({DOROVIVI_BINARY, "H"}, env, message), "");
        EXPECT_EQ(result.exitCode, c.readable ? 5 : 2); // 5: the release values are not in this hive
        EXPECT_EQ(result.output, c.readable ? "NtNet" : "XXXXXX");
        if (c.silent) {
            EXPECT_EQ(message, "");
            continue;
        }
        std::string shown = damaged; // as the one line names it
        std::replace(shown.begin(), shown.end(), '\r', '?');
        std::replace(shown.begin(), shown.end(), '\n', '?');
        EXPECT_EQ(message.find(shown), std::string("dorovivi: ").size()) << message;
        EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
        if (c.reason != nullptr) {
            EXPECT_EQ(message.find(c.reason), std::string("dorovivi: ").size() + shown.size()) << message;
        }
    }
}

} // namespace
