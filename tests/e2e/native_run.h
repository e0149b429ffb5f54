// The shipped binary run over one system in each form it may take: an
// export, a Windows drive, or that drive in a disk image or a chain of them.
#pragma once

#include <string>
#include <vector>

#include "chain_writer.h"
#include "disk_image_writer.h"
#include "process_run.h"
#include "scenarios.h"
#include "windows_drives.h"

// Each system is run as an emulation root's HKLM.reg, as the drive of an
// installation of its family, and as that drive inside a disk image; NT as
// 32-bit and as 64-bit Windows. The answers must not differ.
enum class Form { RegFile, Drive98, DriveNt, Image, RegFile64, DriveNt64, Image64 };

struct ImageForm {
    FileSystem fileSystem;
    Layout layout;
    Container container;
    bool chained = false; // instead of the container: the disk as the child of a chain of `chain`
    ChainKind chain = ChainKind::Qcow2;
};

struct NativeRun {
    ProcessResult result;
    std::string atoms; // the atom table's content after the run
    std::string errors;
};

// Runs `args` over `registry` in `form`, checking that the run ends in time
// and that nothing it was given changes.
NativeRun RunNative(Family family, const std::string &registry, const std::vector<std::string> &args,
                    Form form = Form::RegFile, const ImageForm &image = {}, const std::string &registry64 = "",
                    const DirtyHive *dirty = nullptr);
