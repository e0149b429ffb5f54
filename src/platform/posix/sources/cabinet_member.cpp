#include "platform/posix/sources/cabinet_member.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/posix/base/text_compare.h"
#include "platform/posix/sources/reader_libraries.h"

namespace {

// The two files libmspack may open, by these names and no others: the
// cabinet, read through its FileBytes, and the member, written into memory.
const char CabinetName[] = "cabinet";
const char MemberName[] = "member";

struct CabinetFile {
    const FileBytes *input = nullptr; // the cabinet
    WholeFile *output = nullptr;      // the member, at most its size as the cabinet records it
    std::uint64_t at = 0;
};

struct CabinetSystem {
    mspack_system calls;
    const FileBytes *cabinet;
    WholeFile *member;
};

mspack_file *OpenFile(mspack_system *self, const char *name, int)
{
    CabinetSystem *system = reinterpret_cast<CabinetSystem *>(self);
    CabinetFile *file = static_cast<CabinetFile *>(std::calloc(1, sizeof(CabinetFile)));
    if (file == nullptr)
        return nullptr;
    if (std::strcmp(name, CabinetName) == 0) {
        file->input = system->cabinet;
    } else if (std::strcmp(name, MemberName) == 0) {
        file->output = system->member;
    } else {
        std::free(file);
        return nullptr;
    }
    return reinterpret_cast<mspack_file *>(file);
}

void CloseFile(mspack_file *file)
{
    std::free(file);
}

int ReadFile(mspack_file *handle, void *buffer, int bytes)
{
    CabinetFile &file = *reinterpret_cast<CabinetFile *>(handle);
    if (file.input == nullptr || bytes < 0)
        return -1;
    std::uint64_t size = file.input->Size();
    std::uint64_t left = file.at < size ? size - file.at : 0;
    std::size_t wanted = static_cast<std::uint64_t>(bytes) < left ? static_cast<std::size_t>(bytes)
                                                                   : static_cast<std::size_t>(left);
    if (wanted > 0 && !file.input->ReadAt(file.at, buffer, wanted))
        return -1;
    file.at += wanted;
    return static_cast<int>(wanted);
}

int WriteFile(mspack_file *handle, void *buffer, int bytes)
{
    CabinetFile &file = *reinterpret_cast<CabinetFile *>(handle);
    if (file.output == nullptr || bytes < 0 || static_cast<std::uint64_t>(bytes) > file.output->size - file.at)
        return -1;
    std::memcpy(file.output->bytes + file.at, buffer, static_cast<std::size_t>(bytes));
    file.at += static_cast<std::uint64_t>(bytes);
    return bytes;
}

int SeekFile(mspack_file *handle, off_t offset, int mode)
{
    CabinetFile &file = *reinterpret_cast<CabinetFile *>(handle);
    if (file.input == nullptr)
        return -1;
    std::int64_t base = mode == MSPACK_SYS_SEEK_START ? 0
                        : mode == MSPACK_SYS_SEEK_CUR ? static_cast<std::int64_t>(file.at)
                                                      : static_cast<std::int64_t>(file.input->Size());
    if (offset < -base)
        return -1;
    file.at = static_cast<std::uint64_t>(base + offset);
    return 0;
}

off_t TellFile(mspack_file *handle)
{
    return static_cast<off_t>(reinterpret_cast<CabinetFile *>(handle)->at);
}

void Message(mspack_file *, const char *, ...) {}

void *Allocate(mspack_system *, size_t bytes)
{
    return std::malloc(bytes);
}

void Free(void *memory)
{
    std::free(memory);
}

void Copy(void *from, void *to, size_t bytes)
{
    std::memmove(to, from, bytes);
}

const char *ErrorWords(int error)
{
    switch (error) {
    case MSPACK_ERR_READ: return "cut short or unreadable";
    case MSPACK_ERR_WRITE: return "a member longer than the cabinet records";
    case MSPACK_ERR_SEEK: return "an offset past its end";
    case MSPACK_ERR_NOMEMORY: return "out of memory";
    case MSPACK_ERR_SIGNATURE: return "not a cabinet (no MSCF header)";
    case MSPACK_ERR_CHECKSUM: return "a data block's checksum is wrong";
    case MSPACK_ERR_DECRUNCH: return "its compressed data cannot be decompressed";
    default: return "its header or data blocks are damaged";
    }
}

// The member's bytes, kept with the memory they lie in.
struct MemberBytes final : FileBytes {
    WholeFile whole;
    std::uint64_t length = 0;
    bool ReadAt(std::uint64_t at, void *buffer, std::size_t size) const override
    {
        if (at > length || size > length - at) {
            errno = 0;
            return false;
        }
        std::memcpy(buffer, whole.bytes + at, size);
        return true;
    }
    std::uint64_t Size() const override { return length; }
};

bool Extract(const MspackFunctions &mspack, const FileBytes &cabinet, const std::string &name, MemberBytes &member,
             std::string &why)
{
    CabinetSystem system = {{OpenFile, CloseFile, ReadFile, WriteFile, SeekFile, TellFile, Message, Allocate, Free,
                             Copy, nullptr}, &cabinet, &member.whole};
    mscab_decompressor *decompressor = mspack.create_cab_decompressor(&system.calls);
    if (decompressor == nullptr) {
        why = "out of memory";
        return false;
    }
    mscabd_cabinet *opened = decompressor->open(decompressor, CabinetName);
    mscabd_file *found = nullptr;
    for (mscabd_file *file = opened != nullptr ? opened->files : nullptr; file != nullptr; file = file->next)
        if (found == nullptr && RegNamesEqual(file->filename, name))
            found = file;
    int error = opened == nullptr ? decompressor->last_error(decompressor) : MSPACK_ERR_OK;
    if (opened == nullptr)
        why = ErrorWords(error);
    else if (found == nullptr)
        why = "the cabinet holds no " + name;
    else if (found->length > kCabinetMemberLargest)
        why = name + " of " + std::to_string(found->length) + " bytes, larger than 64 MiB";
    else if (!MapWholeFile(member.whole, found->length > 0 ? found->length : 1))
        why = "out of memory";
    else if ((error = decompressor->extract(decompressor, found, MemberName)) != MSPACK_ERR_OK)
        why = ErrorWords(error);
    else
        member.length = found->length;
    if (opened != nullptr)
        decompressor->close(decompressor, opened);
    mspack.destroy_cab_decompressor(decompressor);
    return why.empty();
}

} // namespace

RegistryFile CabinetMemberFile(const RegistryFile &cabinet, const std::string &member)
{
    RegistryFile file;
    file.name = cabinet.name + ": " + member;
    if (!cabinet.Open()) {
        file.name = cabinet.name;
        file.unopened = cabinet.unopened;
        return file;
    }
    Fault fault;
    const MspackFunctions *mspack = MspackLibrary(fault);
    std::shared_ptr<MemberBytes> bytes = std::make_shared<MemberBytes>();
    std::string why;
    if (mspack == nullptr)
        file.unopened = FaultText(fault);
    else if (!Extract(*mspack, *cabinet.bytes, member, *bytes, why))
        file.unopened = why;
    else
        file.bytes = bytes;
    return file;
}
