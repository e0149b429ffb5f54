#pragma once

// Registry paths relative to HKEY_LOCAL_MACHINE, kept for the whole run.
extern char AdapterKeyPath[128];
extern char EnumKeyPath[256];
extern char ClassDriverKey[128];

// On NT the service name's last character is the adapter instance; it stands
// this many characters before the end of the path, ahead of "\Parameters".
const int InstanceDigitFromEnd = 12;

// Writes the adapter's configuration key path for the cached family.
// Returns 1 when AdapterKeyPath has been written, 0 otherwise.
int BuildAdapterKeyPath(const char *cardId);
