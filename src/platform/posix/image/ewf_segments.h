// An E01 image's segment files, named from the first: disk.E01, disk.E02...
// A segment that is not the last ends with a "next" section, the last with
// "done"; libewf opens what it finds and reads the rest as unreadable.
#pragma once

#include <string>

// For `path` open as `fd` whose first bytes are `header`: "" unless it is
// an E01 segment, and then the name of the first segment missing after the
// ones there, "" when none is.
std::string MissingEwfSegment(int fd, const std::string &path, const unsigned char *header);
