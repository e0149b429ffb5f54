// The inventory's one stderr writer. With DOROVIVI_TRACE=- the runs write
// their trace to stderr, and so the whole of stderr stays JSON lines: the
// inventory's own lines become "message" events, and a run's JSON lines come
// through with the root and command they belong to put in front.
#pragma once

#include <string>
#include <string_view>

// Writes `text`, whole lines each ended by '\n'.
void WriteErrorLines(const std::string &text);

// Appends one line a run wrote to its stderr, as it is passed on (with its
// line end): after `prefix` (the escaped root and ": "), or as JSON.
void AppendRunErrorLine(std::string &out, std::string_view line, const std::string &prefix, const char *root,
                        const char *command);
