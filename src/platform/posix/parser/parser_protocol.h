// What crosses the pipe between the program and the child that parses its
// root: the child's start record, then one registry question a request.
#pragma once

#include <cstdint>

#include "platform/posix/sandbox/child_lockdown.h"
#include "platform/posix/sandbox/record_text.h"

// ServerRequest::op. A key or value names its path below HKLM in the
// request's text; a value's name follows the path's NUL.
constexpr std::uint32_t kAskKey = 1;       // answer: error 0 (it exists) or ENOENT
constexpr std::uint32_t kAskValue = 2;     // answer: ValueAnswer, then the data from request.offset
constexpr std::uint32_t kAskLastWrite = 3; // answer: the FILETIME's 8 bytes, or ENOENT
constexpr std::uint32_t kAskStates = 4;    // answer: DOROVIVI_STATE=list's lines, as much as fits

struct ValueAnswer {
    std::uint32_t type;
    std::uint32_t spare;
    std::uint64_t total; // the data's whole length; a request reads from `offset` as much as fits
};

struct ParserStart {
    std::uint32_t platformId;   // the registry's FormatPlatformId
    std::uint32_t windowsFound; // 1: some Windows installation is there, chosen or not
    std::uint32_t imageReadInChild; // 1: an image, read by a child of the parser's own
    std::uint32_t spare;
    LockdownReport imageLockdown; // what that child read under
    // The registry's SoftwareUnread: the file and why ("" when read).
    RecordText<4096> softwareFile;
    RecordText<2048> softwareUnread;
};
