// An E01 image, read through libewf from the descriptors of its segments.
#pragma once

#include <string>

#include "platform/posix/image/image_libraries.h"

// The image whose first segment, `path`, is open as `fd`. False with
// `fault` naming a missing segment or what libewf refuses.
bool OpenEwfImage(const TskFunctions *tsk, int fd, const std::string &path, TSK_IMG_INFO *&image, Fault &fault);
