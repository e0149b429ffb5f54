#include "platform/posix/image/registry_file_root.h"

#include <cstring>

namespace {

// Signatures at byte 0, as each format's header begins.
const struct {
    const char *signature;
    const char *words;
} RegistryFiles[] = {
    {"regf", "a registry hive, not a disk: name the Windows drive or its image"},
    {"CREG", "a Windows 95/98/Me registry file, not a disk: name the Windows drive or its image"},
};

const char *const ExportHeaders[] = {"REGEDIT4", "Windows Registry Editor Version 5.00"};
const char ExportWords[] = "a registry export, not a disk: name a folder that holds it as HKLM.reg";

// The export's first line as 8-bit text: a UTF-16LE one (after its byte-order
// mark) keeps its ASCII, a UTF-8 byte-order mark is dropped.
std::size_t ExportText(const unsigned char *head, std::size_t size, char *text, std::size_t capacity)
{
    std::size_t at = 0, length = 0;
    bool wide = size >= 2 && head[0] == 0xFF && head[1] == 0xFE;
    if (wide)
        at = 2;
    else if (size >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF)
        at = 3;
    for (; at < size && length < capacity; at += wide ? 2 : 1) {
        if (wide && (at + 1 >= size || head[at + 1] != 0))
            break;
        text[length++] = static_cast<char>(head[at]);
    }
    return length;
}

} // namespace

const char *RegistryFileInsteadOfDisk(const unsigned char *head, std::size_t size)
{
    for (const auto &file : RegistryFiles)
        if (size >= 4 && std::memcmp(head, file.signature, 4) == 0)
            return file.words;
    char text[64];
    std::size_t length = ExportText(head, size, text, sizeof text), at = 0;
    while (at < length && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    for (const char *header : ExportHeaders) {
        std::size_t wanted = std::strlen(header);
        if (length - at >= wanted && std::memcmp(text + at, header, wanted) == 0)
            return ExportWords;
    }
    return nullptr;
}
