#include "platform/posix/atoms/atom_table.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/owned_fd.h"
#include "platform/posix/base/text_compare.h"

namespace {

const std::size_t MaxAtomName = 255;
const std::size_t MaxAtoms = 0x4000; // string atoms run from 0xC000 to 0xFFFF

bool ReadWhole(int fd, std::string &content)
{
    char chunk[65536];
    std::size_t got = 0;
    do {
        if (!ReadUpTo(fd, chunk, sizeof chunk, got))
            return false;
        content.append(chunk, got);
    } while (got == sizeof chunk);
    return true;
}

// "count name" with a decimal count; false for a line of any other shape,
// which is then kept untouched.
bool ParseAtomLine(std::string_view line, unsigned long long &count, std::string_view &name)
{
    std::size_t space = line.find(' ');
    if (space == 0 || space == std::string_view::npos || space > 19)
        return false;
    count = 0;
    for (std::size_t i = 0; i < space; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return false;
        count = count * 10 + static_cast<unsigned long long>(line[i] - '0');
    }
    name = line.substr(space + 1);
    return true;
}

// Returns the new table text with the reference added, and the atom's index.
bool AddReference(const std::string &table, std::string_view name, std::string &updated, std::size_t &index)
{
    std::size_t lineIndex = 0;
    bool found = false;
    std::size_t pos = 0;
    while (pos < table.size()) {
        std::size_t end = table.find('\n', pos);
        if (end == std::string::npos)
            end = table.size();
        std::string_view line(table.data() + pos, end - pos);
        unsigned long long count;
        std::string_view atomName;
        if (!found && ParseAtomLine(line, count, atomName) && RegNamesEqual(atomName, name)) {
            found = true;
            index = lineIndex;
            updated += std::to_string(count + 1);
            updated += ' ';
            updated += atomName;
        } else {
            updated += line;
        }
        updated += '\n';
        ++lineIndex;
        pos = end + 1;
    }
    if (!found) {
        if (lineIndex >= MaxAtoms)
            return false;
        index = lineIndex;
        updated += "1 ";
        updated += name;
        updated += '\n';
    }
    return true;
}

// Writes the new table beside the old one and swaps it in, so that a crash
// leaves either the old table or the new one, never a part of either.
bool ReplaceTable(const std::string &tablePath, const std::string &content)
{
    std::string temporary = tablePath + ".tmp." + std::to_string(getpid());
    OwnedFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.Valid())
        return false;
    bool written = WriteAll(fd.fd, content.data(), content.size()) && fsync(fd.fd) == 0;
    written = fd.Reset() == 0 && written; // a failed close can lose what was written
    if (!written || rename(temporary.c_str(), tablePath.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

ATOM AddAtomToTable(const std::string &tablePath, const char *name)
{
    if (name == nullptr)
        return 0;
    std::string_view atomName(name);
    if (atomName.empty() || atomName.size() > MaxAtomName || atomName.find('\n') != std::string_view::npos)
        return 0;

    // The table file itself is replaced on every update, so the lock lives
    // on a file of its own that stays put.
    std::string lockPath = tablePath + ".lock";
    OwnedFd lock(open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!lock.Valid())
        return 0;
    ATOM atom = 0;
    if (flock(lock.fd, LOCK_EX) == 0) {
        std::string table;
        bool readable = true;
        OwnedFd tableFd(open(tablePath.c_str(), O_RDONLY | O_CLOEXEC));
        if (tableFd.Valid()) {
            readable = ReadWhole(tableFd.fd, table);
        } else {
            readable = errno == ENOENT;
        }
        std::string updated;
        std::size_t index = 0;
        if (readable && AddReference(table, atomName, updated, index) && ReplaceTable(tablePath, updated))
            atom = static_cast<ATOM>(0xC000 + index);
    }
    lock.Reset(); // releases the lock
    return atom;
}
