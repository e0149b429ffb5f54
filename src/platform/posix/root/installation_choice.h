// Which of the installations on a disk (or under a directory) is the one to
// read: the one DOROVIVI_WINDIR names, else the one the active partition's
// boot files name, else the only one there is.
#pragma once

#include <string>
#include <vector>

#include "platform/posix/root/installation_lookup.h"

struct Volume {
    const FileTree *tree;
    int partition; // as ARC names count it, from 1; 0 for a directory root; -1 for a dynamic volume
    int disk = 0;  // rdisk(N): the machine's disk, in the order its BIOS numbers them
    std::string dynamic = ""; // a dynamic volume's name ("Volume1"), which DOROVIVI_WINDIR then begins with
};

struct Choice {
    bool chosen = false;
    Candidate one;
    const char *chosenBy = ""; // "DOROVIVI_WINDIR", "boot.ini", "MSDOS.SYS" or "only"
    bool windowsFound = false; // some installation is there, even if none was chosen
    std::string problem;       // what stops a choice, for "<root>: ...; reading an empty registry"
    // Lines for stderr after "<root>: " on a disk, each naming its file as its
    // tree describes it; where none is chosen, they lead `problem` instead.
    std::vector<std::string> notes;
    std::vector<Candidate> found; // every installation looked at, chosen or not, as found
};

// `windir` is DOROVIVI_WINDIR ("" when unset); `active` the volume whose boot
// files count.
Choice ChooseInstallation(const std::vector<Volume> &volumes, std::size_t active, const std::string &windir);

// How DOROVIVI_WINDIR names the installation in `dir`: "partition(2)\WINNT"
// on a machine's first disk, "rdisk(1)partition(1)\WINNT" on its second,
// "WINNT" under a directory, with backslashes.
std::string InstallationName(const Volume &volume, const std::string &dir);
