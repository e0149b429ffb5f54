// A Windows drive as a directory (a mounted disk or a copy of one): its
// installation chosen as on a disk, its registry files opened where they lie.
#pragma once

#include <string>

#include "platform/posix/root/installation.h"

Installation FindInDirectory(const std::string &root, const std::string &windir);
