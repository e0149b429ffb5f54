#pragma once

#include <cstddef>

// Splits a command line into argc and argv the way the C runtime of the
// Windows system (msvcrt.dll) does before main:
// - the program name runs to the first space or tab, or, when it starts
//   with a quote, to the next quote; backslashes mean nothing in it;
// - other arguments are separated by spaces and tabs outside quotes;
// - 2n backslashes before a quote give n backslashes, and the quote opens
//   or closes a quoted part; 2n+1 give n backslashes and a literal quote;
//   backslashes before anything else stay as they are;
// - "" inside a quoted part gives one literal quote and ends that part;
// - a quote left open runs to the end of the line.
// The texts go one after another into `text`, their addresses into `argv`,
// followed by a null pointer. Returns argc. Splitting stops when `argv` or
// `text` is full: the last argument is cut short, later ones are left out.
int SplitCommandLine(const char *line, char *text, std::size_t textSize, char *argv[], int argvSize);
