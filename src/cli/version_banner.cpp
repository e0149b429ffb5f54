#include "cli/version_banner.h"

#include <cstdio>

#include "cli/exit_codes.h"

int PrintVersionBanner()
{
    std::printf("Dorovivi utility, Variant %d, V%s\n", ToolVariant, ToolVersion);
    return ExitOk;
}
