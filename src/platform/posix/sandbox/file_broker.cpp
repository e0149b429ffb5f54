#include "platform/posix/sandbox/file_broker.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/posix/base/evidence_file.h"

namespace {

bool Climbs(const std::string &path, std::size_t from)
{
    for (std::size_t at = from; at < path.size();) {
        std::size_t end = path.find('/', at);
        end = end == std::string::npos ? path.size() : end;
        if (path.compare(at, end - at, "..") == 0)
            return true;
        at = end + 1;
    }
    return false;
}

// `path` is `folder` itself, or a name directly in it; "." holds bare names.
bool DirectlyIn(const std::string &folder, const std::string &path)
{
    if (path == folder)
        return true;
    std::size_t from = folder == "." ? 0 : folder.size() + (folder.back() == '/' ? 0 : 1);
    if (folder != "." && (path.compare(0, folder.size(), folder) != 0 || path.size() <= from || path[from - 1] != '/'))
        return false;
    std::string name = path.substr(from);
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

// The name as given, below the scope's own: compared as text, so that no
// link can take ".." anywhere it should not go.
bool InScope(const BrokerScope &scope, const std::string &path)
{
    if (!scope.keysFolder.empty() && path != scope.keysFolder && DirectlyIn(scope.keysFolder, path))
        return true;
    if (scope.reach == BrokerReach::FolderAndAbove) {
        for (std::size_t index = 0; index <= scope.alsoFolders.size(); ++index) {
            const std::string &folder = index == 0 ? scope.path : scope.alsoFolders[index - 1];
            std::string above = folder == "." ? ".." : folder == "/" ? "/" : folder + "/..";
            if (DirectlyIn(folder, path) || DirectlyIn(above, path))
                return true;
        }
        return false;
    }
    if (path == scope.path)
        return true;
    if (scope.reach != BrokerReach::Tree || path.compare(0, scope.path.size(), scope.path) != 0 ||
        path.size() <= scope.path.size() || (path[scope.path.size()] != '/' && scope.path.back() != '/'))
        return false;
    return !Climbs(path, scope.path.size());
}

} // namespace

int OpenForChild(const BrokerScope &scope, const std::string &path, bool folder)
{
    if (!InScope(scope, path) || path.find('\0') != std::string::npos) {
        errno = EPERM;
        return -1;
    }
    // A device is never opened at all, as some act on an open; one put in
    // place between the look and the open is closed unread.
    struct stat before, opened;
    if (stat(path.c_str(), &before) != 0)
        return -1;
    bool fits = S_ISREG(before.st_mode) || S_ISDIR(before.st_mode) || S_ISFIFO(before.st_mode);
    int fd = !fits ? -1 : folder ? OpenEvidenceFolder(path) : OpenEvidenceFile(path);
    if (fd >= 0 && fstat(fd, &opened) == 0 && opened.st_dev == before.st_dev && opened.st_ino == before.st_ino)
        return fd;
    int error = fits && fd < 0 ? errno : ENXIO;
    if (fd >= 0)
        close(fd);
    errno = error;
    return -1;
}

bool HandOver(int socket, const BrokerScope &scope, const std::string &path, bool folder)
{
    int fd = OpenForChild(scope, path, folder);
    bool sent = SendDescriptor(socket, errno, fd);
    if (fd >= 0)
        close(fd);
    return sent;
}

bool SendDescriptor(int socket, int error, int fd)
{
    std::int32_t sent = fd >= 0 ? 0 : (error != 0 ? error : EIO);
    iovec part = {&sent, sizeof sent};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message = {};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    if (fd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr *rights = CMSG_FIRSTHDR(&message);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(rights), &fd, sizeof fd);
    }
    ssize_t written;
    while ((written = sendmsg(socket, &message, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    return written == static_cast<ssize_t>(sizeof sent);
}

bool ReceiveDescriptor(int socket, int &fd)
{
    std::int32_t error = 0;
    iovec part = {&error, sizeof error};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message = {};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    while ((got = recvmsg(socket, &message, MSG_CMSG_CLOEXEC | MSG_WAITALL)) < 0 && errno == EINTR) {
    }
    if (got != static_cast<ssize_t>(sizeof error))
        return false;
    fd = -1;
    cmsghdr *rights = CMSG_FIRSTHDR(&message);
    if (rights != nullptr && rights->cmsg_level == SOL_SOCKET && rights->cmsg_type == SCM_RIGHTS &&
        rights->cmsg_len == CMSG_LEN(sizeof(int)))
        std::memcpy(&fd, CMSG_DATA(rights), sizeof fd);
    if (fd < 0)
        errno = error != 0 ? error : EIO;
    return true;
}
