// Directories the inventory tests look into and copies of the program they run.
#pragma once

#include <string>

// The names in `dir`, sorted, each followed by a space; "" when empty or absent.
std::string Listing(const std::string &dir);

// A copy of the program alone in a directory, with `dorovivi` beside it
// when a stand-in script is given; returns the copy's path.
std::string LoneInventory(const std::string &standIn);
