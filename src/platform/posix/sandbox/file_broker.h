// Files for a child that may open none itself: it names a path, and its
// parent, which parses nothing, opens it read-only where the root's scope
// allows and hands the descriptor over the request socket (SCM_RIGHTS).
#pragma once

#include <string>
#include <vector>

// What a root lets its child name: one file (an export); a folder and all
// below it (a drive); or an image's folder, and the folder above it, each
// for the files directly in it and its own listing: a differencing disk's
// parent lies beside it or one folder up (a VM's snapshots folder), and so do
// a split image's segments and a VMDK's extents. A name that climbs with
// ".." further, lies elsewhere, or reaches a device, a FIFO or a socket is
// refused; links are followed, as the user laid the root out.
enum class BrokerReach { OneFile, Tree, FolderAndAbove };
struct BrokerScope {
    std::string path;
    BrokerReach reach = BrokerReach::OneFile;
    // A machine's disks: their folders, each reached as an image's is.
    std::vector<std::string> alsoFolders;
    // The folder of the file of BitLocker keys: the files directly in it
    // (that file, and the startup key files kept beside it).
    std::string keysFolder = "";
};

// The parent's side: `path` opened under `scope`, or -1 with errno (EPERM:
// outside the scope; ENXIO: a device or a socket, never opened). A FIFO is
// opened without blocking, and the child finds it is no regular file.
int OpenForChild(const BrokerScope &scope, const std::string &path, bool folder);

// Opens `path` for the child and sends the descriptor, or why not, over
// `socket`; false when the socket fails.
bool HandOver(int socket, const BrokerScope &scope, const std::string &path, bool folder);

// The descriptor and the errno of an open, over a Unix socket; -1 is sent
// as none. False when the socket fails.
bool SendDescriptor(int socket, int error, int fd);
// The child's side: the descriptor, or -1 with errno set to the parent's;
// false when the parent has gone.
bool ReceiveDescriptor(int socket, int &fd);
