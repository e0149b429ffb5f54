#pragma once

// The tool's own release; the driver it checks for carries the same numbers.
const int ToolVariant = 1;
const char ToolVersion[] = "6.00";

int PrintVersionBanner();
