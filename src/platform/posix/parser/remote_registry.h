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
    // DOROVIVI_STATE=list's lines, as the child found them.
    std::string StateList() const;

    // The program asks the same few questions again and again (each adapter
    // instance twice), and a run's registry does not change: a question once
    // answered is not asked again. Questions and answers are kept, back to
    // back, while they fit.
    static constexpr std::size_t kAnswersKept = 64;
    static constexpr std::size_t kKeptBytes = 8192;
    struct KeptAnswer {
        std::uint32_t op;
        bool found;
        DWORD type;
        std::size_t at, pathSize, nameSize, dataSize; // in keptBytes: the path, the name, the data
    };
    mutable KeptAnswer kept[kAnswersKept];
    mutable char keptBytes[kKeptBytes];
    mutable std::size_t keptCount = 0, keptUsed = 0;

    mutable SandboxedServer server;
    std::string root;        // as the one line names it
    const char *what = "";   // "the drive", for that line
    DWORD platformId = 0;
    Fault softwareUnread;
    mutable bool said = false;
};
