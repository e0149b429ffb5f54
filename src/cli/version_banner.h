#pragma once

// The tool's own release; the driver it checks for carries the same numbers.
// CMake reads ToolVersion from here for the packages: keep it on one line.
const int ToolVariant = 1;
const char ToolVersion[] = "6.00";

int PrintVersionBanner();
