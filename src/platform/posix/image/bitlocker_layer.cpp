#include "platform/posix/image/bitlocker_layer.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/base/evidence_file.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/owned_fd.h"
#include "platform/posix/image/callback_image.h"
#include "platform/posix/image/parent_lookup.h"

namespace {

const std::size_t MaxKeysFile = 64 * 1024;   // a line a key
const std::size_t MaxStartupKey = 64 * 1024; // a .BEK is some hundred bytes

// What the decrypted volume's image owns; the disk under it is the disk's.
struct Layer {
    VolumeSpan span;
    std::shared_ptr<BitLockerVolume> volume;
};

ssize_t ReadLayer(void *disk, std::uint64_t offset, char *buffer, std::size_t size)
{
    return ReadBitLockerVolume(static_cast<Layer *>(disk)->volume.get(), offset, buffer, size);
}

void CloseLayer(void *disk)
{
    Layer *layer = static_cast<Layer *>(disk);
    CloseBitLockerVolume(*layer->volume);
    delete layer;
}

// A file of the user's keys, whole; "" or why not. The child asks its
// parent for it, which opens only what lies in the keys file's folder.
std::string ReadKeyFile(const std::string &path, std::size_t largest, std::vector<unsigned char> &bytes, bool &shared)
{
    OwnedFd fd(OpenEvidenceFile(path));
    struct stat info;
    if (!fd.Valid())
        return errno == EPERM ? "not read (key files are read from the keys file's folder)" : std::strerror(errno);
    if (fstat(fd.fd, &info) != 0 || !S_ISREG(info.st_mode))
        return "not a regular file";
    if (static_cast<std::uint64_t>(info.st_size) > largest)
        return "larger than " + std::to_string(largest / 1024) + " KiB, which no key file is";
    shared = (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
    bytes.assign(static_cast<std::size_t>(info.st_size), 0);
    return bytes.empty() || ReadExactlyAt(fd.fd, bytes.data(), bytes.size(), 0) ? "" : std::strerror(errno);
}

void ReadStartupKeys(VolumeKeys &keys)
{
    for (BitLockerKey &key : keys.keys.keys) {
        if (key.kind != BitLockerKeyKind::StartupKey)
            continue;
        std::string path = !key.path.empty() && key.path[0] == '/' ? key.path
                                                                   : InFolder(FolderOf(keys.keysFile), key.path);
        std::vector<unsigned char> bytes;
        bool shared = false;
        Fault fault;
        std::string why = ReadKeyFile(path, MaxStartupKey, bytes, shared);
        if (why.empty() && !SetStartupKeyFile(key, bytes.data(), bytes.size(), fault))
            why = fault.words;
        WipeBytes(bytes.data(), bytes.size());
        if (!why.empty())
            keys.lines.push_back("DOROVIVI_KEYS=" + keys.keysFile + ", line " + std::to_string(key.line) +
                                 ": the startup key file " + path + ": " + why);
    }
}

// Reads DOROVIVI_KEYS into `keys`, once.
void ReadVolumeKeys(VolumeKeys &keys)
{
    if (keys.keysRead || keys.keysFile.empty())
        return;
    keys.keysRead = true;
    std::vector<unsigned char> bytes;
    bool shared = false;
    Fault fault;
    std::string why = ReadKeyFile(keys.keysFile, MaxKeysFile, bytes, shared);
    if (why.empty() && shared)
        keys.lines.push_back("DOROVIVI_KEYS=" + keys.keysFile + ": other users may read it; a file of keys is "
                             "its owner's alone (chmod 600)");
    if (why.empty() && !ParseBitLockerKeys(reinterpret_cast<const char *>(bytes.data()), bytes.size(), keys.keys, fault))
        why = fault.words;
    WipeBytes(bytes.data(), bytes.size());
    if (!why.empty())
        keys.lines.push_back("DOROVIVI_KEYS=" + keys.keysFile + ": " + why);
    ReadStartupKeys(keys);
}

} // namespace

void WipeVolumeKeys(VolumeKeys &keys)
{
    WipeBitLockerKeys(keys.keys);
}

bool OpenBitLockerLayer(const TskFunctions *tsk, TSK_IMG_INFO *image, std::uint64_t offset, std::uint64_t size,
                        const unsigned char *first, VolumeKeys &keys, std::shared_ptr<const BitLockerVolume> &facts,
                        TSK_IMG_INFO *&layer, std::string &locked)
{
    layer = nullptr;
    if (!IsBitLockerVolume(first))
        return false;
    if (!keys.cryptoLoaded) {
        keys.cryptoWanted = true; // read again by a child that loads its reader first
        locked = "a BitLocker volume, not read";
        return true;
    }
    ReadVolumeKeys(keys);
    Layer *made = new Layer{{tsk, image, offset, size}, std::make_shared<BitLockerVolume>()};
    facts = made->volume;
    Fault fault;
    if (!OpenBitLockerVolume(ReadVolumeSpan, &made->span, size, keys.keys, *made->volume, fault)) {
        const BitLockerVolume &volume = *made->volume;
        locked = "BitLocker volume " + (volume.guid.empty() ? std::string("") : volume.guid + " ") +
                 (volume.description.empty() ? "" : "(\"" + volume.description + "\") ") + fault.words +
                 (volume.protectors.empty() || !keys.keysFile.empty() ? ""
                                                                       : "; DOROVIVI_KEYS names a file of its keys");
        delete made;
        return true;
    }
    if (!OpenCallbackImage(tsk, made, ReadLayer, CloseLayer, made->volume->size, "BitLocker volume", layer, fault))
        locked = "BitLocker volume " + made->volume->guid + ": " + FaultText(fault);
    return true;
}
