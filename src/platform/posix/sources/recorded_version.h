// What an installation records about its Windows version, read in one place
// for GetVersionExA and for WOW64's view: on NT, Software\Microsoft\Windows
// NT\CurrentVersion ("CurrentVersion" "6.3", "CurrentBuildNumber" "19045",
// "CSDVersion" "Service Pack 1", and from Windows 10 on
// "CurrentMajorVersionNumber" and "CurrentMinorVersionNumber"); on 95/98/Me,
// Software\Microsoft\Windows\CurrentVersion ("VersionNumber" "4.10.2222",
// "SubVersionNumber" " A ").
#pragma once

#include <string>

#include "platform/posix/base/fault.h"
#include "platform/posix/sources/registry_source.h"

struct RecordedVersion {
    DWORD platform = 0; // VER_PLATFORM_WIN32_NT or _WINDOWS
    DWORD major = 0, minor = 0, build = 0;
    std::string text;        // "10.0.19045"; on 95/98/Me VersionNumber as stored
    std::string servicePack; // CSDVersion (NT) or SubVersionNumber (95/98/Me), else ""
};

// Fills `version`; false with `fault` when the installation records none:
// the file that could not be read where that is why (a SOFTWARE hive
// missing or refused), else the words alone. The family is the format's
// where it has one (a hive pair NT, SYSTEM.DAT 95/98/Me), else NT when
// "CurrentVersion" is there (a 95/98/Me system has the NT key too, empty),
// else 95/98/Me when "VersionNumber" is there.
bool ReadRecordedVersion(const RegistrySource &source, RecordedVersion &version, Fault &fault);
