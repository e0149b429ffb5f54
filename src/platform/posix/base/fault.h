// Why something could not be read, as a value: the file it concerns kept
// apart from the words, so that a caller adds its own context as a field and
// nothing ever has to cut a name back out of a message.
#pragma once

#include <string>

struct Fault {
    // The file, image or library it concerns, as the user or system names it;
    // "" when none, or when it is the one the caller asked about and names itself.
    std::string file;
    std::string words; // what failed, in the format's or the system's own words
};

// "file: words", or the words alone: how a fault reads on a line.
inline std::string FaultText(const Fault &fault)
{
    return fault.file.empty() ? fault.words : fault.file + ": " + fault.words;
}
