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
    bool KeyExists(std::string_view path) const override;
    bool FindValue(std::string_view path, std::string_view name, DWORD &type, std::string &data) const override;
    bool KeyLastWrite(std::string_view path, std::uint64_t &filetime) const override;

    // The program asks the same few questions again and again (each adapter
    // instance twice), and a run's registry does not change: a question once
    // answered is not asked again. A larger value is asked each time.
    static constexpr std::size_t kAnswersKept = 64;
    static constexpr std::size_t kKeptValueLargest = 1024;
    struct KeptAnswer {
        std::uint32_t op = 0;
        std::string question; // the request's text: the path, a NUL, the name
        bool found = false;
        DWORD type = 0;
        std::string data;
    };
    mutable KeptAnswer kept[kAnswersKept];
    mutable std::size_t keptCount = 0;

    mutable SandboxedServer server;
    std::string root;        // as the one line names it
    const char *what = "";   // "the drive", for that line
    DWORD platformId = 0;
    mutable bool said = false;
};
