#include "inventory_dirs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "process_run.h"

std::string Listing(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *entries = opendir(dir.c_str())) {
        while (dirent *entry = readdir(entries))
            names.push_back(entry->d_name);
        closedir(entries);
    }
    std::sort(names.begin(), names.end());
    std::string listing;
    for (const std::string &name : names)
        listing += name == "." || name == ".." ? "" : name + " ";
    return listing;
}

std::string LoneInventory(const std::string &standIn)
{
    std::string dir = MakeTempDir("dorovivi-inventory-bin");
    WriteFile(dir + "/dorovivi-inventory", ReadFile(DOROVIVI_INVENTORY_BINARY));
    chmod((dir + "/dorovivi-inventory").c_str(), 0755);
    if (!standIn.empty()) {
        WriteFile(dir + "/dorovivi", "#!/bin/sh\n" + standIn);
        chmod((dir + "/dorovivi").c_str(), 0755);
    }
    return dir + "/dorovivi-inventory";
}
