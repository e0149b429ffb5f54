// The registry as the program sees it when a child parses the root: every
// question goes through the pipe, and the answers are the child's, checked
// for size and shape. A child that goes is said once, in one line; from
// then on the registry reads as empty.
#pragma once

#include <string>

#include "platform/posix/sandbox/sandboxed_server.h"
#include "platform/posix/sources/registry_source.h"

// The longest value the program takes from the child: far beyond any a
// hive holds for this program's questions.
constexpr std::uint64_t kRemoteValueLargest = 64u << 20;

struct RemoteRegistry final : RegistrySource {
    RemoteRegistry() = default;
    RemoteRegistry(const RemoteRegistry &) = delete;
    RemoteRegistry &operator=(const RemoteRegistry &) = delete;
    ~RemoteRegistry() override { StopSandboxedServer(server); }

    DWORD FormatPlatformId() const override { return platformId; }
    Fault SoftwareUnread() const override { return softwareUnread; }
    bool KeyExists(std::string_view path) const override;
    bool FindValue(std::string_view path, std::string_view name, DWORD &type, std::string &data) const override;
    bool KeyLastWrite(std::string_view path, std::uint64_t &filetime) const override;

    // The program opens the same few keys again and again, and a run's
    // registry does not change: a key once asked about is not asked again.
    static constexpr std::size_t kKeysKept = 8;
    mutable std::string keptKeys[kKeysKept];
    mutable bool keptExists[kKeysKept] = {};
    mutable std::size_t keptCount = 0;

    mutable SandboxedServer server;
    std::string root;        // as the one line names it
    const char *what = "";   // "the drive", for that line
    DWORD platformId = 0;
    Fault softwareUnread;
    mutable bool said = false;
};
