// A cell reader's fault in the format's words, with where it lies counted as
// a reader of the format counts it and as a hex viewer finds it.
#pragma once

#include <string>

#include "platform/posix/sources/regf/regf_fault.h"

// "the cell at hive bin offset 0x20 (file offset 0x1020) runs past its hive bin"
std::string RegfFaultWords(const RegfFault &fault);
