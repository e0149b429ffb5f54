#include "platform/windows/command_line.h"

namespace {

struct TextOut {
    char *next;
    char *end;
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Keeps the last byte for the argument's NUL.
void Put(TextOut &out, char c)
{
    if (out.end - out.next > 1)
        *out.next++ = c;
}

void EndArgument(TextOut &out)
{
    if (out.next < out.end)
        *out.next++ = '\0';
}

const char *ScanProgramName(const char *p, TextOut &out)
{
    if (*p == '"') {
        for (++p; *p != '\0' && *p != '"'; ++p)
            Put(out, *p);
        return *p == '"' ? p + 1 : p;
    }
    for (; *p != '\0' && !IsBlank(*p); ++p)
        Put(out, *p);
    return p;
}

const char *ScanArgument(const char *p, TextOut &out)
{
    bool quoted = false;
    for (;;) {
        int backslashes = 0;
        for (; *p == '\\'; ++p)
            ++backslashes;
        bool literal = true;
        if (*p == '"') {
            if (backslashes % 2 == 0) {
                if (quoted && p[1] == '"')
                    ++p; // the second quote of the pair is the literal one
                else
                    literal = false;
                quoted = !quoted;
            }
            backslashes /= 2;
        }
        for (; backslashes > 0; --backslashes)
            Put(out, '\\');
        if (*p == '\0' || (!quoted && IsBlank(*p)))
            return p;
        if (literal)
            Put(out, *p);
        ++p;
    }
}

} // namespace

int SplitCommandLine(const char *line, char *text, std::size_t textSize, char *argv[], int argvSize)
{
    if (argvSize < 1)
        return 0;
    int argc = 0;
    TextOut out = {text, text + textSize};
    const char *p = line;
    if (argvSize > 1 && textSize > 0) {
        argv[argc++] = out.next;
        p = ScanProgramName(p, out);
        EndArgument(out);
        for (;;) {
            while (IsBlank(*p))
                ++p;
            if (*p == '\0' || argc == argvSize - 1 || out.next == out.end)
                break;
            argv[argc++] = out.next;
            p = ScanArgument(p, out);
            EndArgument(out);
        }
    }
    argv[argc] = nullptr;
    return argc;
}
