// The shipped binary over virtual disks others made.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <initializer_list>
#include <cstring>
#include <string>
#include <vector>

#include "image_run.h"
#include "real_files.h"

namespace {

// The first of `paths` that is not there; "" when all are.
std::string FirstMissing(std::initializer_list<const char *> paths)
{
    for (const char *path : paths)
        if (!RealFilesHere(path))
            return path;
    return "";
}

} // namespace

// Skips the test where one of the files it reads is missing; CI must have them all.
#define NEEDS(...)                                                                                                     \
    do {                                                                                                               \
        const std::string missing = FirstMissing({__VA_ARGS__});                                                       \
        NEEDS_REAL(missing.empty(), missing);                                                                          \
    } while (0)

namespace {

// Virtual disks others made (needs ../shared/real/images, and vss for a GPT
// disk, in a qcow2 so that the check for writes reads megabytes, not 5 GiB),
// none holding Windows, and registry files named in a disk's place: the
// empty answer, after a line for each fault read past. "%" stands for the
// folder they lie in.
TEST(RealImages, EachChainFaultNamed)
{
    NEEDS(DOROVIVI_REAL "/images");
    const std::string none = "no partition table and no FAT or NTFS file system; reading an empty registry";
    const std::vector<std::string> cases[] = { // the root, then the lines after "dorovivi: %/<root>: "
        {"image-differential.vhd", "VHD footer and dynamic disk header fail their checksums; read as they are",
         "%/image.vhd: VHD footer fails its checksum; read as it is", none},
        {"image.vhd", "VHD footer fails its checksum; read as it is", none},
        {"fat-differential.vhd", "its parent '.\\fat-parent.vhd' or 'C:\\Projects\\dfvfs\\test_data\\fat-parent.vhd' is "
                                 "missing (looked for %/fat-parent.vhd); reading an empty registry"},
        {"system", "a registry hive, not a disk: name the Windows drive or its image; reading an empty registry"},
        {"SYSTEM.DAT", "a Windows 95/98/Me registry file, not a disk: name the Windows drive or its image; reading an "
                       "empty registry"},
        {"HKLM.reg",
         "a registry export, not a disk: name a folder that holds it as HKLM.reg; reading an empty registry"},
        // A GPT disk Windows partitioned: its reserved partition is no damage.
        {"vss_1_vol.qcow2",
         "no Windows installation (SYSTEM.DAT, or system32\\config\\SYSTEM and SOFTWARE) on its file systems; reading "
         "an empty registry"},
    };
    for (const std::vector<std::string> &c : cases) {
        SCOPED_TRACE(c[0]);
        std::string dir = MakeTempDir("dorovivi-real-images"), expected;
        std::string files = "for f in '" DOROVIVI_REAL "'/images/*.xz; do xz -dc \"$f\" > " + dir +
                            "/\"$(basename \"$f\" .xz)\" || exit 1; done; cd " + dir + " && xz -dc '" DOROVIVI_REAL
                            "/genuine/xp_system.xz' > system && xz -dc '" DOROVIVI_REAL
                            "/genuine/me_SYSTEM.DAT.xz' > SYSTEM.DAT && cp '" DOROVIVI_EXAMPLES "/nt/HKLM.reg' .";
        std::string raw = dir + "/gpt.raw";
        std::string gpt = "tar xzOf '" DOROVIVI_REAL "/vss/dfir_ntfs/vss_1_vol.tar.gz' | dd of=" + raw +
                          " bs=1M conv=sparse status=none && qemu-img convert -O qcow2 " + raw + " " + dir + "/" + c[0];
        ASSERT_EQ(std::system((c[0].find(".qcow2") == std::string::npos ? files : gpt + " && rm " + raw).c_str()), 0);
        for (std::string line : std::vector<std::string>(c.begin() + 1, c.end())) {
            if (line.find('%') != std::string::npos)
                line.replace(line.find('%'), 1, dir);
            expected += "dorovivi: " + dir + "/" + c[0] + ": " + line + "\n";
        }
        ImageRun run = RunOverImage(dir + "/" + c[0], dir, {"H"});
        EXPECT_EQ(run.result.exitCode, 2);
        EXPECT_EQ(run.result.output, "XXXXXX");
        EXPECT_EQ(run.errors, expected);
        RemoveTree(dir);
    }
}

// An NT installation written into a dynamic volume of Windows-made disks,
// assembled and written back by the map ldmtool reports, answers through a
// machine of those disks (needs ../shared/real/ldm).
TEST(RealImages, AnInstallationOnADynamicVolumeAnswers)
{
    NEEDS(DOROVIVI_REAL "/ldm/ldm-data.tar.xz");
    const char *cases[][2] = {{"spanned", "Volume2"}, {"striped", "Stripe1"}, {"mirrored", "Volume3"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c[0]);
        std::string dir = MakeTempDir("dorovivi-ldm"), kind = c[0];
        std::string disks = "ldm-2003r2-" + kind + "-1.img ldm-2003r2-" + kind + "-2.img";
        std::string tree = WriteNtTree(dir + "/nt");
        ASSERT_EQ(std::system(("cd " + dir + " && tar xSJf '" DOROVIVI_REAL "/ldm/ldm-data.tar.xz' " + disks +
                               " && python3 " DOROVIVI_LDM_VOLUME " assemble " + c[1] + " volume " + disks + " && " +
                               DOROVIVI_NTFS_POPULATE " volume " + tree + " && python3 " DOROVIVI_LDM_VOLUME
                               " scatter " + c[1] + " volume " + disks + " && rm volume")
                                  .c_str()),
                  0);
        WriteFile(dir + "/vm.vmx", "ide0:0.present = \"TRUE\"\nide0:0.fileName = \"ldm-2003r2-" + kind +
                                       "-1.img\"\nide0:1.present = \"TRUE\"\nide0:1.fileName = \"ldm-2003r2-" + kind +
                                       "-2.img\"\n");
        ImageRun run = RunOverImage(dir + "/vm.vmx", dir, {"H"});
        EXPECT_EQ(run.result.exitCode, 0) << run.errors;
        EXPECT_EQ(run.result.output, NtAnswer) << run.errors;
        RemoveTree(dir);
    }
}

// An NT installation written into Windows-made BitLocker volumes through
// dislocker's read-write mount answers with the key its owner keeps, and a
// volume without one is named with its protectors (needs ../shared/real
// and FUSE).
TEST(RealImages, AnInstallationInsideBitLockerAnswers)
{
    NEEDS(DOROVIVI_REAL "/bitlocker", "/dev/fuse", "/usr/bin/dislocker-fuse");
    const struct {
        const char *volume, *unlock, *keys; // dislocker's option, then the keys file's line ("" none)
        const char *locked;                 // the line without a key; null: it answers
        mode_t mode = 0600;                 // the keys file's
    } cases[] = {
        {"bitlk-aes-xts-256", "-uanaconda", "password:anaconda", nullptr},
        {"bitlk-aes-xts-256", "-uanaconda", "password:anaconda", nullptr, 0644},
        {"bitlk-aes-cbc-128", "-p042647-302313-590458-071500-554323-116567-412181-516978",
         "recovery:042647302313590458071500554323116567412181516978", nullptr},
        {"bitlk-aes-xts-128-startup-key", "-f4381F759-C4F8-4DE0-BB61-FC33A831BDA5.BEK",
         "bek:4381F759-C4F8-4DE0-BB61-FC33A831BDA5.BEK", nullptr},
        {"bitlk-aes-xts-128-clearkey-only", "-c", "", nullptr},
        {"bitlk-aes-xts-128", "-uanaconda", "", "partition(1): BitLocker volume {8F595209-F5B9-49A0-85D4-CB8F80258C27} "
         "(\"DESKTOP-NPM7RCA H: 7/4/2019\") locked by BitLocker and no key was given (its protectors: password, "
         "recovery password (key ID 64311DEA)); DOROVIVI_KEYS names a file of its keys; reading an empty registry\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.volume);
        std::string dir = MakeTempDir("dorovivi-bitlocker"), image = dir + "/" + c.volume + ".img";
        std::string tree = WriteNtTree(dir + "/nt");
        ASSERT_EQ(std::system(("cd " + dir + " && tar xSJf '" DOROVIVI_REAL "/bitlocker/cryptsetup-bitlk-images.tar.xz'"
                               " --strip-components=1 bitlk-images/" + c.volume + ".img bitlk-images/4381F759-C4F8-"
                               "4DE0-BB61-FC33A831BDA5.BEK && mkdir mnt && dislocker-fuse -V " + image + " " + c.unlock +
                               " -- mnt && mkntfs -F -f -q mnt/dislocker-file >/dev/null 2>&1 && " DOROVIVI_NTFS_POPULATE
                               " mnt/dislocker-file " + tree + "; fusermount -u mnt")
                                  .c_str()),
                  0);
        WriteFile(dir + "/keys", std::string(c.keys) + "\n");
        chmod((dir + "/keys").c_str(), c.mode);
        std::vector<std::string> keys;
        if (c.keys[0] != '\0')
            keys.push_back("DOROVIVI_KEYS=" + dir + "/keys");
        ImageRun run = RunOverImage(image, dir, {"H"}, keys);
        EXPECT_EQ(run.result.output, c.locked == nullptr ? NtAnswer : "XXXXXX") << run.errors;
        // The trace names what opened it, never the key.
        std::string trace = dir + ".trace";
        keys.push_back("DOROVIVI_TRACE=" + trace);
        RunOverImage(image, dir, {"H"}, keys);
        const char *colon = std::strchr(c.keys, ':');
        std::string traced = ReadFile(trace), secret = colon != nullptr ? colon + 1 : "";
        unlink(trace.c_str());
        EXPECT_NE(traced.find(c.locked == nullptr && c.keys[0] != '\0' ? "\"unlocked_by\":{" : "\"bitlocker\":{"),
                  std::string::npos);
        EXPECT_TRUE(secret.empty() || traced.find(secret) == std::string::npos);
        std::string shared = "dorovivi: " + image + ": DOROVIVI_KEYS=" + dir + "/keys: other users may read it; a file of "
                             "keys is its owner's alone (chmod 600)\n";
        EXPECT_EQ(run.errors, c.locked != nullptr ? "dorovivi: " + image + ": " + c.locked : c.mode != 0600 ? shared : "");
        RemoveTree(dir);
    }
}

// A volume's shadow copies, taken before an installation was written onto
// it, are states of that installation read through the tool's layers: named
// and timed as vshadowinfo gives them, and holding no such installation
// (needs ../shared/real/vss).
TEST(RealImages, ShadowCopiesAreStatesOfTheirVolume)
{
    NEEDS(DOROVIVI_REAL "/vss/vsstest.qcow2");
    std::string dir = MakeTempDir("dorovivi-vss"), tree = WriteNtTree(dir + "/nt"), image = dir + "/vss.qcow2";
    ASSERT_EQ(std::system(("cd " + dir + " && qemu-img convert -O raw '" DOROVIVI_REAL "/vss/vsstest.qcow2' vss.raw && "
                           DOROVIVI_NTFS_POPULATE " vss.raw " + tree + " && qemu-img convert -O qcow2 vss.raw " + image +
                           " && rm vss.raw")
                              .c_str()),
              0);
    const char *cases[][3] = {// DOROVIVI_STATE, the answer, the line after "dorovivi: <image>: "
                              {"list", "", nullptr},
                              {"current", NtAnswer, nullptr},
                              {"shadow:2", "XXXXXX", "DOROVIVI_STATE=shadow:2: shadow:2 (shadow copy "
                               "{18F1AC6E-959D-436F-BDCC-E797A729E290}) holds no such installation; reading an empty "
                               "registry\n"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c[0]);
        ImageRun run = RunOverImage(image, dir, {"H"}, {std::string("DOROVIVI_STATE=") + c[0]});
        std::string listed = run.result.output.substr(run.result.output.find('\n') + 1);
        EXPECT_EQ(c[1][0] == '\0' ? listed : run.result.output,
                  c[1][0] == '\0' ? "shadow:1\t2013-12-03T06:35:09.7363787Z\tshadow copy\n"
                                    "shadow:2\t2013-12-03T06:37:48.9190583Z\tshadow copy\n"
                                  : c[1]);
        EXPECT_EQ(run.errors, c[2] == nullptr ? "" : "dorovivi: " + image + ": " + c[2]);
    }
    RemoveTree(dir);
}

} // namespace
