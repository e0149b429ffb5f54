#pragma once

// The complete set of answers a caller can get from the tool.
enum ExitCode {
    ExitOk = 0,
    ExitNoCommand = 1,
    ExitNoAdapter = 2,
    ExitMalformedCommand = 4,
    ExitUnexpectedDriver = 5,
    ExitCompanionAbsent = 100,
    ExitCompanionInstalled = 101,
};
