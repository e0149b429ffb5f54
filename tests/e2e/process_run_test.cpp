// The helper that runs the program for the end-to-end tables.
#include <gtest/gtest.h>

#include "process_run.h"

namespace {

// The bound the image tables rely on to turn a hang into a failure.
TEST(ProcessRun, ARunPastItsTimeIsKilled)
{
    ProcessResult result = RunProcess({"/bin/sleep", "30"}, {}, "", 1);
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.exitCode, -1);
    EXPECT_FALSE(RunProcess({"/bin/true"}, {}, "", 1).timedOut);
}

} // namespace
