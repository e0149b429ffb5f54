// The Landlock half of a child's lockdown: read-only access beneath the paths
// given and nothing else, no TCP, no signals or abstract sockets out.
#pragma once

#include <cstddef>

// The kernel's Landlock ABI, 0 when it has none (or it is disabled).
int LandlockAbi();

// Restricts this process (no_new_privs must be set); false with errno when
// the kernel refused. Paths that cannot be opened are left out.
bool RestrictToReading(const char *const *readable, std::size_t count, int abi);
