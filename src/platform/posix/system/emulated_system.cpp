#include "platform/posix/system/emulated_system.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/posix/atoms/atom_location.h"
#include "platform/posix/base/error_line.h"
#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/trace_line.h"
#include "platform/posix/base/trace_start.h"
#include "platform/posix/parser/parsed_root.h"
#include "platform/posix/root/state_choice.h"
#include "platform/posix/system/system_root.h"
#include "platform/posix/view/registry_view.h"

namespace {

struct EmulatedSystem {
    bool started = false;
    std::string root;   // DOROVIVI_ROOT, or the default
    std::string windir; // DOROVIVI_WINDIR, "" when unset
    bool listStates = false; // DOROVIVI_STATE=list
    ParsedRoot parsed;  // source null until the first question about the root
    bool viewKnown = false;
    RegistryView view = RegistryView::Native;
    std::string keyPaths[kSystemKeySlots];
    bool keyOpen[kSystemKeySlots] = {};
};

EmulatedSystem System;

std::string WindirSetting()
{
    const char *windir = std::getenv("DOROVIVI_WINDIR");
    return windir != nullptr ? windir : "";
}

// DOROVIVI_SANDBOX: "off", "required", else what the kernel offers; any
// other value is said once and read as unset.
SandboxUse SandboxSetting()
{
    const char *setting = std::getenv("DOROVIVI_SANDBOX");
    std::string value = setting != nullptr ? setting : "";
    if (value == "off")
        return SandboxUse::Off;
    if (value == "required")
        return SandboxUse::Required;
    if (!value.empty())
        PrintErrorLine("DOROVIVI_SANDBOX=" + value + " is neither off nor required; the reader takes "
                       "the sandbox the kernel offers");
    return SandboxUse::Available;
}

// DOROVIVI_STATE=list: the states are the run's whole answer, in place of
// the command's.
[[noreturn]] void ListStatesAndEnd()
{
    std::string states = ListedStates(System.parsed);
    bool written = WriteAll(STDOUT_FILENO, states.data(), states.size());
    CloseParsedRoot(System.parsed);
    StopTrace();
    std::exit(written ? 0 : 1);
}

// The root is read once, by its child, at the first question about it.
const ParsedRoot &SystemRoot()
{
    StartEmulatedSystem();
    if (System.parsed.source == nullptr) {
        HoldTrace(); // until the root's children have opened all they read
        ParseRoot(System.root, System.windir, SandboxSetting(), System.parsed);
        ReleaseTrace();
        if (System.listStates)
            ListStatesAndEnd();
    }
    return System.parsed;
}

} // namespace

void StartEmulatedSystem()
{
    if (System.started)
        return;
    System.started = true;
    System.root = SystemRootPath();
    System.windir = WindirSetting();
    System.listStates = StateSetting() == kStateListing;
    StartTrace(System.root);
}

const RegistrySource &SystemRegistry()
{
    return *SystemRoot().source;
}

std::string PathInSystemView(const std::string &path)
{
    if (!PathMayBeRedirected(path))
        return path; // the native view is not read for opens it cannot change
    if (!System.viewKnown) {
        System.view = ViewOfRegistry(SystemRegistry());
        System.viewKnown = true;
    }
    return PathInView(path, System.view);
}

bool SystemAtomTablePath(std::string &path)
{
    return AtomTablePath(SystemRoot().windowsFound, System.root, path);
}

bool OpenSystemKey(const std::string &path, unsigned &slot)
{
    for (slot = 0; slot < kSystemKeySlots; ++slot)
        if (!System.keyOpen[slot]) {
            System.keyOpen[slot] = true;
            System.keyPaths[slot] = path;
            return true;
        }
    return false;
}

const std::string *PathOfSystemKey(unsigned slot)
{
    return slot < kSystemKeySlots && System.keyOpen[slot] ? &System.keyPaths[slot] : nullptr;
}

bool CloseSystemKey(unsigned slot)
{
    if (PathOfSystemKey(slot) == nullptr)
        return false;
    System.keyOpen[slot] = false;
    System.keyPaths[slot].clear();
    return true;
}

void ResetEmulatedSystem()
{
    StopTrace();
    CloseParsedRoot(System.parsed);
    System.started = false;
    System.viewKnown = false;
    System.view = RegistryView::Native;
    for (unsigned slot = 0; slot < kSystemKeySlots; ++slot)
        CloseSystemKey(slot);
}
