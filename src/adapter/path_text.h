#pragma once

#include <cstddef>
#include <cstring>

// Appends `piece` to the text in `path`. Returns 0, leaving the path
// unchanged, when the result would not fit with its NUL.
template <std::size_t N>
int AppendPathPiece(char (&path)[N], const char *piece)
{
    std::size_t used = std::strlen(path);
    std::size_t added = std::strlen(piece);
    if (added >= N - used)
        return 0;
    std::memcpy(path + used, piece, added + 1);
    return 1;
}
