// What the disk chain tests share: the raw disks a chain is made of, one
// SYSTEM.DAT generation each, and the answer a chain's newest disk gives.
#pragma once

#include <string>
#include <vector>

// Three sectors, of which a new generation changes the first alone.
std::string Registry(int generation);

// Raw disks 0..count-1: a bare FAT12 holding WINDOWS\SYSTEM.DAT, each the
// one before with that file rewritten in place (mtools writes only it).
std::vector<std::string> WriteGenerations(const std::string &dir, int count);

// The registry file the lookup finds in `image`, or the problem; and
// whether the image child outlived the files it served.
std::string Answer(const std::string &image);
