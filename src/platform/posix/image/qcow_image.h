// A qcow2 image handed to libtsk as an image of its own kind, read through
// libqcow.
#pragma once

#include <string>

#include "platform/posix/image/image_libraries.h"

// `fd` is the image open read-only, `header` its first 16 bytes. False with
// `problem` for a backing file, a file cut short, or what libqcow refuses.
bool OpenQcowImage(const TskFunctions *tsk, const std::string &path, int fd, const unsigned char *header,
                   TSK_IMG_INFO *&image, std::string &problem);
