#pragma once

#include <string>

// The directory that stands in for a Windows installation: DOROVIVI_ROOT when
// set and not empty, else /var/lib/dorovivi. Returns the path of `file` in it.
std::string SystemRootFile(const char *file);
