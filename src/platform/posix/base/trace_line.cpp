#include "platform/posix/base/trace_line.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/posix/base/error_line.h"

int TraceFd = TraceNotStarted;

namespace {

std::string RealPath(const std::string &path)
{
    char real[PATH_MAX];
    return realpath(path.c_str(), real) != nullptr ? real : "";
}

std::string DirectoryOf(const std::string &path)
{
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Where `path` would be written: its real path when it exists (a link into
// the root counts as the root), else its directory's real path and its
// name; a dangling link is followed, as open(O_CREAT) follows it.
std::string RealTarget(std::string path)
{
    for (int links = 0; links < 40; ++links) {
        std::string real = RealPath(path);
        if (!real.empty())
            return real;
        char target[PATH_MAX];
        ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
        if (length < 0)
            break;
        std::string next(target, static_cast<std::size_t>(length));
        path = next[0] == '/' ? next : DirectoryOf(path) + "/" + next;
    }
    std::string dir = RealPath(DirectoryOf(path));
    if (dir.empty())
        return "";
    std::size_t slash = path.find_last_of('/');
    return (dir == "/" ? "" : dir) + "/" + (slash == std::string::npos ? path : path.substr(slash + 1));
}

// Split raw and E01 images go on in files named as the first with the next
// number: disk.001, disk.002; disk.E01, disk.E02.
bool LooksLikeSegmentOf(const std::string &target, const std::string &image)
{
    std::size_t dot = target.find_last_of("./"), imageDot = image.find_last_of("./");
    auto numbered = [](const std::string &name, std::size_t at) {
        return at != std::string::npos && name[at] == '.' && name.size() - at == 4 &&
               name[at + 2] >= '0' && name[at + 2] <= '9' && name[at + 3] >= '0' && name[at + 3] <= '9';
    };
    return numbered(target, dot) && numbered(image, imageDot) && target.compare(0, dot, image, 0, imageDot) == 0;
}

std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t at)
{
    auto byte = [&](std::size_t i) { return at + i < bytes.size() ? static_cast<unsigned char>(bytes[at + i]) : 0u; };
    unsigned lead = byte(0), second = byte(1);
    std::size_t length = 0;
    unsigned low = 0x80, high = 0xBF; // the range of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    if (length == 0 || second < low || second > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    return length;
}

void AppendEscapedByte(std::string &out, unsigned char byte)
{
    static const char Digits[] = "0123456789abcdef";
    out += "\\u00";
    out += Digits[byte >> 4];
    out += Digits[byte & 15];
}

} // namespace

std::string TracePathRefusal(const std::string &path, const std::string &root)
{
    struct stat rootInfo, info;
    std::string target = RealTarget(path);
    bool exists = !target.empty() && stat(target.c_str(), &info) == 0;
    if (exists && S_ISBLK(info.st_mode))
        return "is a block device"; // appending would write over the disk
    std::string realRoot = RealPath(root);
    if (realRoot.empty() || target.empty() || stat(realRoot.c_str(), &rootInfo) != 0)
        return ""; // nothing there to protect, or nowhere to write
    if (exists && info.st_dev == rootInfo.st_dev && info.st_ino == rootInfo.st_ino)
        return "is the system root " + root; // under any name
    if (S_ISDIR(rootInfo.st_mode)) {
        std::string dir = DirectoryOf(target);
        bool inside = realRoot == "/" || dir == realRoot || dir.compare(0, realRoot.size() + 1, realRoot + "/") == 0;
        return inside ? "lies inside the system root " + root : "";
    }
    return LooksLikeSegmentOf(target, realRoot) ? "is a segment of the system root's image " + root : "";
}

void StartTrace(const std::string &root)
{
    if (TraceFd != TraceNotStarted)
        return;
    TraceFd = -1;
    const char *setting = std::getenv("DOROVIVI_TRACE");
    if (setting == nullptr || setting[0] == '\0')
        return;
    if (std::strcmp(setting, "-") == 0) {
        TraceFd = STDERR_FILENO;
        return;
    }
    std::string named = std::string("dorovivi: DOROVIVI_TRACE=") + setting;
    std::string refusal = TracePathRefusal(setting, root);
    if (!refusal.empty()) {
        PrintErrorLine(named + " " + refusal + ", which is never written; tracing nothing");
        return;
    }
    int fd = open(setting, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        PrintErrorLine(named + ": " + std::strerror(errno) + "; tracing nothing");
        return;
    }
    TraceFd = fd;
}

void StopTrace()
{
    if (TraceFd > STDERR_FILENO)
        close(TraceFd);
    TraceFd = TraceNotStarted;
}

void AppendJsonString(std::string &out, std::string_view bytes)
{
    out += '"';
    for (std::size_t at = 0; at < bytes.size();) {
        auto c = static_cast<unsigned char>(bytes[at]);
        std::size_t length = c < 0x20 ? 0 : Utf8SequenceLength(bytes, at);
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '\n' || c == '\r' || c == '\t')
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
        else if (length == 0)
            AppendEscapedByte(out, c);
        else
            out.append(bytes.substr(at, length));
        at += length == 0 ? 1 : length;
    }
    out += '"';
}

TraceLine::TraceLine(const char *event)
{
    text = "{\"event\":";
    AppendJsonString(text, event);
}

TraceLine &TraceLine::Text(const char *field, std::string_view value)
{
    text += std::string(",\"") + field + "\":";
    AppendJsonString(text, value);
    return *this;
}

TraceLine &TraceLine::Number(const char *field, long long value)
{
    text += std::string(",\"") + field + "\":" + std::to_string(value);
    return *this;
}

TraceLine &TraceLine::Null(const char *field)
{
    text += std::string(",\"") + field + "\":null";
    return *this;
}

TraceLine &TraceLine::List(const char *field, const std::vector<std::string> &items)
{
    text += std::string(",\"") + field + "\":[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text += ',';
        AppendJsonString(text, items[i]);
    }
    text += ']';
    return *this;
}

void TraceLine::Write()
{
    if (!Tracing())
        return;
    text += "}\n";
    while (write(TraceFd, text.data(), text.size()) < 0 && errno == EINTR) {
    }
}
