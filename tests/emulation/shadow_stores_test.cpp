// Shadow copies Windows made (../shared/real/vss), listed and read through
// ListShadowStores; what each store must show comes from SOURCES there, and
// from vshadowmount where libvshadow reads the store right.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "platform/posix/base/filetime_text.h"
#include "platform/posix/base/sha256.h"
#include "platform/posix/image/callback_image.h"
#include "platform/posix/shadow/shadow_stores.h"
#include "real_files.h"

namespace {

const std::string Real = DOROVIVI_REAL_VSS;

// A volume of a disk's file, `base` bytes into it, with `patch` laid over it.
struct Part {
    int fd;
    std::uint64_t base;
    std::map<std::uint64_t, std::string> patch;
};

ssize_t ReadPart(void *volume, std::uint64_t offset, char *buffer, std::size_t size)
{
    const Part &part = *static_cast<Part *>(volume);
    ssize_t got = pread(part.fd, buffer, size, static_cast<off_t>(part.base + offset));
    for (const auto &patch : part.patch)
        for (std::size_t i = 0; got > 0 && i < patch.second.size(); ++i)
            if (patch.first + i >= offset && patch.first + i < offset + static_cast<std::uint64_t>(got))
                buffer[patch.first + i - offset] = patch.second[i];
    return got;
}

std::string Le64(std::uint64_t value)
{
    std::string bytes(8, '\0');
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<char>(value >> (8 * i));
    return bytes;
}

std::string Repeat(const std::string &text, std::size_t times)
{
    std::string all;
    while (times-- > 0)
        all += text;
    return all;
}

// The size of `path` on the NTFS of `store`, -1 where it is not there.
long long FileSize(const ShadowStore &store, const std::string &path)
{
    Fault fault;
    TSK_IMG_INFO *image = nullptr;
    if (!OpenCallbackImage(TskLibrary(fault), store.store, ReadShadowStore, nullptr, store.size, "shadow", image,
                           fault))
        return -2;
    TSK_FS_INFO *fs = tsk_fs_open_img(image, 0, TSK_FS_TYPE_NTFS);
    TSK_FS_FILE *file = fs != nullptr ? tsk_fs_file_open(fs, nullptr, path.c_str()) : nullptr;
    long long size = file != nullptr && file->meta != nullptr ? file->meta->size : -1;
    tsk_fs_file_close(file);
    tsk_fs_close(fs);
    tsk_img_close(image);
    return size;
}

class ShadowStores : public ::testing::Test {
protected:
    static std::string dir;
    std::vector<Part> parts;
    std::vector<ShadowStore> stores;
    Fault fault;

    // The disks are extracted once into the build tree, sparse, and kept:
    // each run of a test would otherwise spend some 20 s on it.
    static void SetUpTestSuite()
    {
        if (access((Real + "/SOURCES").c_str(), R_OK) != 0)
            return;
        dir = DOROVIVI_VSS_SCRATCH;
        std::string script = "mkdir -p " + dir + " && cd " + dir + " && { [ -f vsstest.raw ] || { qemu-img convert -O raw " +
                             Real + "/vsstest.qcow2 vsstest.$$ && mv vsstest.$$ vsstest.raw; }; }";
        for (std::string disk : {"vss_1_vol", "vss_2_stor", "vss_3_volstor"})
            script += " && { [ -f " + disk + ".raw ] || { tar xzOf " + Real + "/dfir_ntfs/" + disk + ".tar.gz | dd of=" +
                      disk + ".$$ bs=1M conv=sparse status=none && mv " + disk + ".$$ " + disk + ".raw; }; }";
        ASSERT_EQ(std::system(script.c_str()), 0);
    }
    void SetUp() override { NEEDS_REAL(!dir.empty(), Real); }
    void TearDown() override
    {
        CloseShadowStores(stores);
        for (const Part &part : parts)
            close(part.fd);
    }

    // "vol1 stor2": the first volume's stores, the others given beside it.
    bool List(const std::string &names, const std::map<std::uint64_t, std::string> &patch = {}, int patched = 0)
    {
        static const std::map<std::string, std::tuple<const char *, std::uint64_t, std::uint64_t>> volumes = {
            {"vsstest", {"vsstest", 0, 1ULL << 30}},
            {"vol1", {"vss_1_vol", 67584 * 512, 10416128ULL * 512}},
            {"stor2", {"vss_2_stor", 67584 * 512, 10416128ULL * 512}},
            {"stor3", {"vss_3_volstor", 2048 * 512, 4194304ULL * 512}},
            {"vol3", {"vss_3_volstor", 4196352ULL * 512, 6285312ULL * 512}},
        };
        std::istringstream list(names);
        std::vector<LowerVolume> given;
        CloseShadowStores(stores);
        for (const Part &part : parts)
            close(part.fd);
        parts.clear();
        parts.reserve(4);
        for (std::string name; list >> name;) {
            const auto &volume = volumes.at(name);
            parts.push_back({open((dir + "/" + std::get<0>(volume) + ".raw").c_str(), O_RDONLY | O_CLOEXEC),
                             std::get<1>(volume),
                             given.size() == static_cast<std::size_t>(patched) ? patch : std::map<std::uint64_t, std::string>()});
            given.push_back({&parts.back(), ReadPart, std::get<2>(volume)});
        }
        return ListShadowStores(given[0], std::vector<LowerVolume>(given.begin() + 1, given.end()), stores, fault);
    }
};
std::string ShadowStores::dir;

TEST_F(ShadowStores, EachStoreShowsTheVolumeAsItWas)
{
    const std::string storage = Repeat("STORAGE", 1100) + std::string(492, '\0');
    const struct {
        const char *volumes; // the shadowed one, then the others given
        std::size_t count, index;
        const char *guid, *created;
        int area;
        std::uint64_t at;       // where the store is read: the bytes there are
        std::string bytes;      // these, or
        const char *sha256;     // 1 MiB of this digest (vshadowmount's)
        const char *files;      // on its NTFS: "name=size", -1 for none
    } rows[] = {
        {"vsstest", 2, 0, "600F0B69-5BDF-11E3-9D6C-005056C00008", "2013-12-03T06:35:09.7363787Z", -1, 0, "",
         "ea496f47da8ccb690f98a490f472cb4242e430b43ac05499a4b6b4e1f19e2a7c",
         "/syslog=1247 /another_file=-1 /syslog.gz=-1 /password.txt=-1"},
        {"vsstest", 2, 1, "600F0B6D-5BDF-11E3-9D6C-005056C00008", "2013-12-03T06:37:48.9190583Z", -1, 0, "",
         "b914cb1beee3f477f306d7066c3fa768f4cd119e3370ceeaca64d8c6c2b54581",
         "/syslog=-1 /another_file=22 /syslog.gz=540 /password.txt=-1"},
        // Overlays and copied blocks; only the newest store reads its free blocks as zeros.
        {"vsstest", 2, 0, "600F0B69-5BDF-11E3-9D6C-005056C00008", "", -1, 0x14700000, "",
         "2e4c7ea29ed4f1873394c31df2bf23d25325c15f0af1c46b2002d1be2a5ac2f2", ""},
        {"vsstest", 2, 1, "600F0B6D-5BDF-11E3-9D6C-005056C00008", "", -1, 0x14700000, "",
         "c5c1baea4069a10b49679f25300297f9d3cddb0064f392e09dfc44999287af0c", ""},
        {"vsstest", 2, 0, "600F0B69-5BDF-11E3-9D6C-005056C00008", "", -1, 0x6e30000, "",
         "02277564fe696bff048a6462a728ce57172d9e35d7314e18073bfc02bc427619", ""},
        {"vsstest", 2, 1, "600F0B6D-5BDF-11E3-9D6C-005056C00008", "", -1, 0x6e30000, "",
         "30e14955ebf1352266dc2ff8067e68104607e750abb9d3b36582b8af909fcb58", ""},
        // Difference areas on another disk, and on another partition of the same disk.
        {"vol1 stor2", 2, 0, "BBAA765B-8204-11EB-90F4-080027768DF7", "2021-03-10T22:44:18.9998374Z", 0, 1837 * 4096,
         std::string(703800, '1'), nullptr, ""},
        {"vol1 vsstest stor2", 2, 1, "BBAA7663-8204-11EB-90F4-080027768DF7", "2021-03-10T22:45:23.6866155Z", 1,
         1837 * 4096, std::string(703800, '2'), nullptr, ""},
        // The storage volume's own store, beside the other volume's in its catalog.
        {"stor2 vol1", 1, 0, "BBAA7659-8204-11EB-90F4-080027768DF7", "2021-03-10T22:44:00.5147567Z", -1, 40 * 4096,
         storage, nullptr, ""},
        {"vol3 stor3", 2, 0, "9B2AE2CC-8461-11EB-90F8-080027768DF7", "2021-03-13T22:13:17.304309Z", 0, 261856 * 4096,
         std::string(52272, '1'), nullptr, ""},
        {"vol3 stor3", 2, 1, "9B2AE2CF-8461-11EB-90F8-080027768DF7", "2021-03-13T22:13:30.5867369Z", 0, 261856 * 4096,
         std::string(52272, '2'), nullptr, ""},
        {"stor3 vol3", 0, 0, "", "", 0, 0, "", nullptr, ""}, // holds difference areas only
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(std::string(row.volumes) + " store " + std::to_string(row.index) + " at " + std::to_string(row.at));
        ASSERT_TRUE(List(row.volumes)) << FaultText(fault);
        ASSERT_EQ(stores.size(), row.count);
        if (row.count != 0) {
            const ShadowStore &store = stores[row.index];
            char guid[40];
            GuidText(store.identifier, guid, sizeof guid);
            EXPECT_EQ(guid, std::string(row.guid));
            EXPECT_EQ(store.area, row.area);
            EXPECT_EQ(*row.created != '\0' ? FileTimeText(store.creationTime) : "", row.created);
            std::string bytes(row.sha256 != nullptr ? 1 << 20 : row.bytes.size(), '\0');
            ASSERT_EQ(ReadShadowStore(store.store, row.at, &bytes[0], bytes.size()), static_cast<ssize_t>(bytes.size()));
            Sha256 hash;
            Sha256Start(hash);
            Sha256Add(hash, bytes.data(), bytes.size());
            if (row.sha256 != nullptr)
                EXPECT_EQ(Sha256Finish(hash), row.sha256);
            else
                EXPECT_TRUE(bytes == row.bytes);
            std::istringstream files(row.files);
            for (std::string file; std::getline(files, file, ' ');)
                EXPECT_EQ(file.substr(0, file.find('=')) + "=" + std::to_string(FileSize(store, file.substr(0, file.find('=')))),
                          file);
        }
    }
}

// Damage written over a real store in memory: each is refused with one line
// that names the store and the structure, and nothing is listed.
TEST_F(ShadowStores, DamageIsOneLineNamingTheStore)
{
    const std::string newest = "shadow copy store {600F0B6D-5BDF-11E3-9D6C-005056C00008}: ";
    const std::uint64_t catalog = 0x6e30000, header = 0x6e40000, list = 0x6e44000, descriptor = list + 128;
    const struct {
        const char *volumes;
        int patched; // which of them the patch is laid over
        std::map<std::uint64_t, std::string> patch;
        std::string fault;
    } rows[] = {
        {"vsstest", 0, {{0x1e10, "\3"}}, "shadow copies of a VSS volume header of version 3, which is not read"},
        {"vsstest", 0, {{0x1e30, Le64(1ULL << 40)}}, "catalog block at 0x10000000000 lies past the volume's end"},
        {"vsstest", 0, {{catalog + 0xc028, Le64(catalog)}}, "catalog comes round again to its block at 0x6e30000"},
        {"vsstest", 0, {{catalog + 0x4020, Le64(0)}}, "catalog block at 0x6e34000 names another offset as its own, 0x0"},
        {"vsstest", 0, {{catalog + 0x188, Le64(1ULL << 31)}}, newest + "its volume of 2147483648 bytes does not fit"},
        {"vsstest", 0, {{catalog + 0x200, Le64(1)}}, newest + "its difference area has no entry in the catalog"},
        {"vsstest", 0, {{catalog + 0x190, std::string("\x69\x0b\x0f\x60", 4)}}, "{600F0B69-5BDF-11E3-9D6C-005056C00008}: listed twice"},
        {"vsstest", 0, {{header + 20, Le64(5)}}, newest + "store header block at 0x6e40000 is not one"},
        {"vsstest", 0, {{header + 48, Le64(8)}}, newest + "store header at 0x6e40000 gives its information 8 bytes"},
        {"vsstest", 0, {{0x6e48000 + 144, Le64(1ULL << 40)}}, newest + "range list names 1099511627776 bytes"},
        {"vsstest", 0, {{list + 40, Le64(list)}}, newest + "block list comes round again to its block at 0x6e44000"},
        {"vsstest", 0, {{descriptor, Le64(1ULL << 30)}}, newest + "block list descriptor of block 0x40000000: it lies"},
        {"vsstest", 0, {{descriptor + 16, Le64((1ULL << 30) - 0x2000)}}, "its copy at 0x3fffe000 lies past"},
        {"vsstest", 0, {{descriptor + 8, Le64(1ULL << 30)}, {descriptor + 16, Le64(0)}, {descriptor + 24, "\1"}},
         "a forwarder to 0x40000000 names no block of the volume"},
        {"vol1 stor2", 1, {{0xc6f14000 + 40, Le64(0xc6f10000)}}, "bitmap comes round again to its block at 0xc6f10000"},
        {"vol1", 0, {}, "difference area lies on volume {BBAA763C-8204-11EB-90F4-080027768DF7}, which was not given"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.fault);
        EXPECT_FALSE(List(row.volumes, row.patch, row.patched));
        EXPECT_NE(fault.words.find(row.fault), std::string::npos) << fault.words;
        EXPECT_EQ(fault.words.find('\n'), std::string::npos);
        EXPECT_TRUE(stores.empty());
    }
}

} // namespace
