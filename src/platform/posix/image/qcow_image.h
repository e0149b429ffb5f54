// A qcow2 image handed to libtsk as an image of its own kind, with its chain
// of backing files: libqcow opens and checks each link, qcow_chain reads them.
#pragma once

#include <string>

#include "platform/posix/image/image_libraries.h"
#include "platform/posix/image/parent_lookup.h"

// `path` starts with the qcow2 magic. Each backing file is found from the
// image that names it and opened through libqcow as its parent. False with
// `fault` for a missing or foreign backing file, a loop, a file cut
// short, or what libqcow refuses. `chain` gets each file read, child first.
bool OpenQcowImage(const TskFunctions *tsk, int fd, const std::string &path, TSK_IMG_INFO *&image, ChainFiles &chain,
                   Fault &fault);
