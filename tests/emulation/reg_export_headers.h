// The first line of each kind of .reg export, and the blank line after it.
#pragma once

#include <string>

const std::string V4 = "REGEDIT4\r\n\r\n";
const std::string V5 = "Windows Registry Editor Version 5.00\r\n\r\n";
