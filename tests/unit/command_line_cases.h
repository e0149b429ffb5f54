// Command lines and the argv the C runtime of the Windows system makes of
// them. Plain C++, shared by the native unit test and, under Wine, by a
// program that checks the same lines against msvcrt itself.
#pragma once

struct CommandLineCase {
    const char *line;
    const char *argv[5]; // ended by a null pointer
    // Wine's msvcrt keeps a quoted part open after "" and reads the program
    // name like any other argument; Windows' own msvcrt does neither.
    bool wineDiffers;
};

const CommandLineCase CommandLineCases[] = {
    {"dorovivi", {"dorovivi"}, false},
    {"dorovivi V", {"dorovivi", "V"}, false},
    {"dorovivi \t V \t", {"dorovivi", "V"}, false},
    {" dorovivi V", {"", "dorovivi", "V"}, false},
    {"dorovivi V x", {"dorovivi", "V", "x"}, false},
    {"\"C:\\Program Files\\dorovivi.exe\" H", {"C:\\Program Files\\dorovivi.exe", "H"}, false},
    {"\"C:\\tools\\dorovivi.exe\"V", {"C:\\tools\\dorovivi.exe", "V"}, true},
    {"\"C:\\tools\\\"V", {"C:\\tools\\", "V"}, true},
    {"C:\\tools\\dorovivi.exe \"\"", {"C:\\tools\\dorovivi.exe", ""}, false},
    {"dorovivi \"\" V", {"dorovivi", "", "V"}, false},
    {"dorovivi \"V\"", {"dorovivi", "V"}, false},
    {"dorovivi \"V x\"", {"dorovivi", "V x"}, false},
    {"dorovivi V\" \"x", {"dorovivi", "V x"}, false},
    {"dorovivi a\"\"b", {"dorovivi", "ab"}, false},
    {"dorovivi \\\"V", {"dorovivi", "\"V"}, false},
    {"dorovivi \\\\\"V\"", {"dorovivi", "\\V"}, false},
    {"dorovivi \\\\\\\"V", {"dorovivi", "\\\"V"}, false},
    {"dorovivi a\\\\b\\ c\\", {"dorovivi", "a\\\\b\\", "c\\"}, false},
    {"dorovivi a\\\\\\\\\"b c\"", {"dorovivi", "a\\\\b c"}, false},
    {"dorovivi \"V\"\" x", {"dorovivi", "V\"", "x"}, true},
    {"dorovivi \"V\"\"\" x", {"dorovivi", "V\" x"}, true},
    {"dorovivi \"\"\"\"", {"dorovivi", "\""}, false},
    {"dorovivi \"V", {"dorovivi", "V"}, false},
    {"dorovivi \"V x", {"dorovivi", "V x"}, false},
    {"\"dorovivi V", {"dorovivi V"}, false},
};
