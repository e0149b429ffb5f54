// What a system root holds, looked at once: the emulation's own HKLM.reg, or
// the Windows installation on a directory, a disk image or a block device.
#pragma once

#include <string>

#include "platform/posix/root/installation.h"
#include "platform/posix/root/root_kinds.h"
#include "platform/posix/sandbox/child_lockdown.h"

// `windir` is DOROVIVI_WINDIR ("" when unset). Reads at most a few KiB of
// boot configuration besides the directories it lists, and never writes.
Installation FindInstallation(const std::string &root, const std::string &windir,
                              SandboxUse use = SandboxUse::Available);
