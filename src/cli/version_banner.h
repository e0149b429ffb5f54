#pragma once

#include "common/tool_release.h"

int PrintVersionBanner();
