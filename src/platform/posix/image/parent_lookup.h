// Differencing disks name their parent as the hypervisor that wrote them
// recorded it; these find that file from the child, as the hypervisor would,
// and keep a chain from looping or growing without end.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/posix/base/fault.h"
#include "platform/posix/base/owned_fd.h"

// Deeper chains than this are refused; VirtualBox and Hyper-V users take
// snapshots by the dozen, never by the hundred.
const std::size_t MaxChainLinks = 64;

// The parent as the child records it; any may be "".
struct ParentReference {
    std::string relative; // to the child's folder
    std::string absolute; // as recorded, a Windows path or a POSIX one
    std::string name;     // a name alone (a VHD header's), looked for in the child's folder
};

// The folder `path` lies in, "." for a bare name.
std::string FolderOf(const std::string &path);

// `name` (POSIX separators) in `folder`, as plain as it can be said:
// ("." , "./a.vhd") -> "a.vhd", ("/vm", "./a.vhd") -> "/vm/a.vhd".
std::string InFolder(const std::string &folder, const std::string &name);

// The last component of a Windows or POSIX path: "\\?\C:\VMs\base.vhdx" -> "base.vhdx".
std::string LastComponent(std::string path);

// The file a fault of a chain's link names: "" for the chain's first file,
// which its caller names; else `path`.
std::string LinkFile(const std::string &root, const std::string &path);

// The parent's path: the relative reference in the child's folder, then the
// absolute one as recorded (a Windows one by its last component in the
// child's folder), then the name alone in the child's folder. False with
// `fault` naming the reference and every place looked at; the caller names
// the child. The parent found is left open in `opened`.
bool FindParentFile(const std::string &child, const ParentReference &reference, std::string &found, Fault &fault,
                    OwnedFd &opened);

// The files of one chain, child first, by device and inode, and as named.
struct ChainFiles {
    std::vector<std::pair<dev_t, ino_t>> seen;
    std::vector<std::string> files;
};

// Adds the file open as `fd`; false with `fault` when it is already in the
// chain (a loop) or the chain is longer than MaxChainLinks.
bool AddChainLink(ChainFiles &chain, int fd, const std::string &path, Fault &fault);

// Opens `path` read-only for a chain's link; -1 with `fault` set. The
// chain's first file is open already as `held`: a duplicate of it, so that
// no file is opened twice by its name.
int OpenChainFile(const std::string &path, Fault &fault, int held = -1);
