// What the disk image tests share: FAT disks written with mkfs.fat, mtools
// and sfdisk, put in containers with qemu-img, split and ewfacquire, in a
// folder of this run's own that goes when the run ends.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct File {
    std::string path, content; // a path ending in '/' is a directory
};

// A partition: a FAT file system ("12", "16", "32") holding `files`, or, with
// fat "", `size` sectors of other bytes under MBR type `type`.
struct Part {
    std::string fat;
    std::vector<File> files;
    bool bootable = false;
    int type = 6;
    unsigned sectors = 8192;
    std::string gptType = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"; // basic data
};

// The folder this run writes its images in.
std::string Dir();

// The tool's own words go to stderr when it fails, so a failing row says why.
bool RunTool(const std::string &command);

std::string Quote(const std::string &text);

// A raw disk: "bare" (the first part alone), "dos" (primaries, and with
// `logicalFrom` > 0 the parts from there on as logicals) or "gpt".
std::string WriteDisk(const std::string &name, const std::string &label, const std::vector<Part> &parts,
                      std::size_t logicalFrom = 0);

// The raw disk in another container; the path to name as the root.
std::string Convert(const std::string &raw, const std::string &container);

// The bytes of every SYSTEM.DAT Win98 writes.
extern const std::string Dat98;

// A Windows 9x installation in `dir`: its SYSTEM.DAT alone.
std::vector<File> Win98(const std::string &dir);

// A partition of the given FAT ("12", "16", "32") holding `files`.
Part Fat(const std::string &fat, const std::vector<File> &files, bool bootable = false);

// Whether the image child, or any, is still there, even as a zombie.
bool ChildrenLeft();
