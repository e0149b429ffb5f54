// An E01 image's segment files, named from the first: disk.E01, disk.E02...
// A segment that is not the last ends with a "next" section, the last with
// "done"; libewf opens what it finds and reads the rest as unreadable.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/base/owned_fd.h"

// Whether `header` begins an EWF segment.
bool IsEwfSegment(const unsigned char *header, std::size_t size);

// The segments of the E01 image whose first, `path`, is open as `fd`: a
// duplicate of `fd`, then each segment a "next" section leads to, while one
// does; "" or the name of the first missing. A first segment not named
// .E01 is read alone.
std::string OpenEwfSegments(int fd, const std::string &path, std::vector<OwnedFd> &segments);
