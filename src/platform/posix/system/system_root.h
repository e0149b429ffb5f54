#pragma once

#include <string>

// The directory that stands in for a Windows installation: DOROVIVI_ROOT when
// set and not empty, else /var/lib/dorovivi; without a trailing slash unless
// it is "/".
std::string SystemRootPath();
