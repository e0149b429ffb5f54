#pragma once

// Large enough for every value the read limit lets through.
extern char NetworkName[260];

// Finds the expected adapter's configuration for one PC Card identifier and
// reads its network name. On 1, AdapterKeyPath names the matched key.
int FindAdapterNetworkName(const char *cardId);
