// Reads SYSTEM.DAT through libcreg. Keys are found by walking subkeys and
// comparing names here: libcreg 20200725's lookup by path mistakes names of
// one length that differ only in their last character (Net\0001 for
// Net\0000). libcreg follows the key tree's sibling chains without noticing
// a loop, so each chain is walked here first, within bounds.
#include "platform/posix/sources/creg_file_source.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <vector>

#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/owned_fd.h"
#include "platform/posix/base/text_compare.h"
#include "platform/posix/sources/creg_layout.h"
#include "platform/posix/sources/creg_key_names.h"
#include "platform/posix/sources/reader_libraries.h"

namespace {

const CregFunctions *Creg = nullptr; // set by the first open

const std::uint32_t HierarchyEntrySize = CregHierarchyEntrySize;
const int MaxPathDepth = 64;
const std::uint64_t LargestCregFile = 64ull << 20; // Windows 9x kept SYSTEM.DAT to a few megabytes

struct FoundKey {
    libcreg_key_t *key;     // nullptr: no such key
    std::uint32_t offset;   // of its entry in the key tree
};

struct CregFileSource : RegistrySource {
    OwnedFd fd; // closed after the library lets go of the file
    libcreg_file_t *file = nullptr;
    std::uint32_t treeBase = 0; // file offset of tree offset 0
    std::uint32_t treeSize = 0; // tree offsets below this are readable
    mutable std::map<std::string, FoundKey> keys; // by upper-cased path

    // The program keeps its source; harnesses that open many free them.
    ~CregFileSource() override
    {
        for (auto &known : keys)
            if (known.second.key != nullptr)
                Creg->key_free(&known.second.key, nullptr);
        if (file != nullptr)
            Creg->file_free(&file, nullptr);
    }

    DWORD FormatPlatformId() const override { return VER_PLATFORM_WIN32_WINDOWS; }

    bool ReadEntry(std::uint32_t offset, unsigned char (&entry)[HierarchyEntrySize]) const
    {
        if (offset > treeSize || treeSize - offset < HierarchyEntrySize)
            return false;
        return ReadExactlyAt(fd.fd, entry, sizeof entry, static_cast<std::uint64_t>(treeBase) + offset);
    }

    // The tree offsets of a key's subkeys in libcreg's order, or false for
    // a chain that leaves the tree or is longer than the tree could hold.
    bool SubkeyOffsets(std::uint32_t keyOffset, std::vector<std::uint32_t> &offsets) const
    {
        unsigned char entry[HierarchyEntrySize];
        if (!ReadEntry(keyOffset, entry))
            return false;
        std::uint32_t next = ReadLe32(entry + CregEntryFirstChildAt);
        const std::size_t limit = treeSize / HierarchyEntrySize;
        offsets.clear();
        while (static_cast<std::int32_t>(next) >= 0) {
            if (offsets.size() >= limit || !ReadEntry(next, entry))
                return false;
            offsets.push_back(next);
            next = ReadLe32(entry + CregEntryNextSiblingAt);
        }
        return true;
    }

    // How many subkeys libcreg gives the key, once its chain is known sound.
    int SubkeyCount(const FoundKey &parent, std::vector<std::uint32_t> &offsets) const
    {
        int count = 0;
        if (!SubkeyOffsets(parent.offset, offsets) ||
            Creg->key_get_number_of_sub_keys(parent.key, &count, nullptr) != 1 ||
            count != static_cast<int>(offsets.size()))
            return -1;
        return count;
    }

    libcreg_key_t *Subkey(const FoundKey &parent, std::string_view name, std::uint32_t &offset) const
    {
        std::vector<std::uint32_t> offsets;
        int count = SubkeyCount(parent, offsets);
        for (int i = 0; i < count; ++i) {
            libcreg_key_t *sub = nullptr;
            if (Creg->key_get_sub_key_by_index(parent.key, i, &sub, nullptr) != 1)
                continue;
            std::string subName;
            if (CregKeyName(*Creg, sub, subName) && RegNamesEqual(subName, name)) {
                offset = offsets[static_cast<std::size_t>(i)];
                return sub;
            }
            Creg->key_free(&sub, nullptr);
        }
        return nullptr;
    }

    // The names at HKLM's top, or false where any cannot be read.
    bool TopNames(std::vector<std::string> &names) const
    {
        std::vector<std::uint32_t> offsets;
        int count = SubkeyCount(keys[""], offsets);
        for (int i = 0; i < count; ++i) {
            libcreg_key_t *sub = nullptr;
            names.emplace_back();
            bool named = Creg->key_get_sub_key_by_index(keys[""].key, i, &sub, nullptr) == 1 &&
                         CregKeyName(*Creg, sub, names.back());
            if (sub != nullptr)
                Creg->key_free(&sub, nullptr);
            if (!named)
                return false;
        }
        return count >= 0;
    }

    // Walks from the root one name at a time, remembering every prefix.
    FoundKey Find(std::string_view path) const
    {
        std::string upper = UpperAscii(path);
        FoundKey found = keys[""];
        std::size_t begin = 0;
        // HKLM is ""; an empty name anywhere (a leading, trailing or doubled
        // backslash) finds nothing, as in the .reg export.
        for (int depth = 0; !upper.empty() && begin <= upper.size() && found.key != nullptr; ++depth) {
            std::size_t end = upper.find('\\', begin);
            if (end == std::string::npos)
                end = upper.size();
            if (end == begin || depth >= MaxPathDepth)
                return FoundKey{nullptr, 0};
            std::string prefix = upper.substr(0, end);
            auto known = keys.find(prefix);
            if (known != keys.end()) {
                found = known->second;
            } else {
                FoundKey sub = {nullptr, 0};
                sub.key = Subkey(found, std::string_view(path).substr(begin, end - begin), sub.offset);
                keys[prefix] = sub;
                found = sub;
            }
            begin = end + 1;
        }
        return found;
    }

    bool KeyExists(std::string_view path) const override { return Find(path).key != nullptr; }

    bool FindValue(std::string_view path, std::string_view name, DWORD &type, std::string &data) const override
    {
        libcreg_key_t *key = Find(path).key;
        int count = 0;
        if (key == nullptr || Creg->key_get_number_of_values(key, &count, nullptr) != 1)
            return false;
        for (int i = 0; i < count; ++i) {
            libcreg_value_t *value = nullptr;
            if (Creg->key_get_value_by_index(key, i, &value, nullptr) != 1)
                continue;
            bool match = false;
            std::size_t size = 0;
            if (Creg->value_get_name_size(value, &size, nullptr) == 1 && size == name.size()) {
                std::string valueName(size, '\0');
                match = size == 0 ||
                        Creg->value_get_name(value, reinterpret_cast<std::uint8_t *>(&valueName[0]), size, nullptr) == 1;
                match = match && RegNamesEqual(valueName, name);
            }
            std::uint32_t valueType = 0;
            match = match && Creg->value_get_value_type(value, &valueType, nullptr) == 1 &&
                    Creg->value_get_value_data_size(value, &size, nullptr) == 1;
            if (match) {
                data.assign(size, '\0');
                match = size == 0 ||
                        Creg->value_get_value_data(value, reinterpret_cast<std::uint8_t *>(&data[0]), size, nullptr) == 1;
            }
            Creg->value_free(&value, nullptr);
            if (match) {
                type = valueType;
                EndStringAsAFunctionDoes(type, data);
                return true;
            }
        }
        return false;
    }
};

// Checks what libcreg takes on trust and names what is wrong.
std::string HeaderProblem(int fd, std::uint32_t &treeBase, std::uint32_t &treeSize)
{
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return "not a regular file";
    unsigned char head[CregFileHeaderSize + CregRgknHeaderSize];
    std::size_t got = 0;
    if (info.st_size != 0 && !ReadUpToAt(fd, head, sizeof head, 0, got))
        got = 0;
    CregTree tree = {0, 0};
    std::string problem = CheckCregHeaders(head, got, static_cast<std::uint64_t>(info.st_size), tree);
    treeBase = tree.base;
    treeSize = tree.size;
    return problem;
}

} // namespace

RegistrySource *OpenCregFileSource(const FileBytes &bytes, Fault &fault)
{
    Creg = CregLibrary(fault);
    if (Creg == nullptr)
        return nullptr;
    // libcreg opens by name; a SYSTEM.DAT is a few megabytes at most.
    int fd = DescriptorNaming(bytes, LargestCregFile, fault);
    if (fd < 0)
        return nullptr;
    CregFileSource *source = new CregFileSource;
    source->fd.Reset(fd);
    std::string headerProblem = HeaderProblem(fd, source->treeBase, source->treeSize);
    libcreg_key_t *root = nullptr;
    // libcreg opens by name; the descriptor's own name reaches the same bytes,
    // also where they live only in memory.
    std::string name = DescriptorPath(fd);
    if (!headerProblem.empty()) {
        fault = {"", headerProblem};
    } else if (Creg->file_initialize(&source->file, nullptr) != 1 ||
               Creg->file_open(source->file, name.c_str(), LIBCREG_OPEN_READ, nullptr) != 1) {
        fault = {"", "damaged (data blocks)"};
    } else if (Creg->file_get_root_key(source->file, &root, nullptr) != 1 || root == nullptr) {
        fault = {"", "damaged (no root key)"};
    } else {
        source->keys[""] = FoundKey{root, CregRootEntryOffset};
        // A top that cannot be read whole is not judged: its keys are missing anyway.
        std::vector<std::string> names;
        if (!source->TopNames(names) || (fault = {"", NotSystemDatProblem(names)}).words.empty())
            return source;
    }
    delete source;
    return nullptr;
}
