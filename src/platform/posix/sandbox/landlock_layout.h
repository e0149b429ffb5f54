// Landlock's system calls and rights by their numbers, so that a build on an
// older kernel's headers still asks a newer kernel for all it offers.
#pragma once

#include <cstdint>

constexpr long kLandlockCreateRuleset = 444;
constexpr long kLandlockAddRule = 445;
constexpr long kLandlockRestrictSelf = 446;
constexpr std::uint32_t kLandlockCreateRulesetVersion = 1u << 0;
constexpr int kLandlockRulePathBeneath = 1;

constexpr std::uint64_t kLandlockExecute = 1ull << 0;
constexpr std::uint64_t kLandlockWriteFile = 1ull << 1;
constexpr std::uint64_t kLandlockReadFile = 1ull << 2;
constexpr std::uint64_t kLandlockReadDir = 1ull << 3;
constexpr std::uint64_t kLandlockAbi1Rights = (1ull << 13) - 1; // execute .. make symlink
constexpr std::uint64_t kLandlockRefer = 1ull << 13;            // ABI 2
constexpr std::uint64_t kLandlockTruncate = 1ull << 14;         // ABI 3
constexpr std::uint64_t kLandlockIoctlDev = 1ull << 15;         // ABI 5
constexpr std::uint64_t kLandlockNetBindTcp = 1ull << 0;        // ABI 4
constexpr std::uint64_t kLandlockNetConnectTcp = 1ull << 1;     // ABI 4
constexpr std::uint64_t kLandlockScopeAbstractUnix = 1ull << 0; // ABI 6
constexpr std::uint64_t kLandlockScopeSignal = 1ull << 1;       // ABI 6

// The ruleset attribute as ABI 6 has it; older kernels are given its first
// 8 (ABI 1-3) or 16 (ABI 4-5) bytes.
struct LandlockRulesetAttr {
    std::uint64_t handledAccessFs;
    std::uint64_t handledAccessNet;
    std::uint64_t scoped;
};

struct __attribute__((packed)) LandlockPathBeneathAttr {
    std::uint64_t allowedAccess;
    std::int32_t parentFd;
};
