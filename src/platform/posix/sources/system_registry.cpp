// Picks the registry source for the system root, once per process.
#include <cstdio>

#include "platform/posix/installation.h"
#include "platform/posix/sources/creg_file_source.h"
#include "platform/posix/sources/reg_export_source.h"
#include "platform/posix/sources/regf_hive_source.h"

namespace {

RegExport SystemExport; // stays empty unless the root is an emulation root
RegExportSource SystemExportSource(SystemExport);
const RegistrySource *SystemSource = nullptr;

const RegistrySource *OpenInstallation(const Installation &found)
{
    std::string problem = found.problem;
    RegistrySource *source = nullptr;
    switch (found.kind) {
    case InstallationKind::EmulationRoot:
        LoadRegExportFile(found.registryFile.c_str(), SystemExport);
        return &SystemExportSource;
    case InstallationKind::WindowsNt:
        source = OpenRegfHiveSource(found.registryFile.c_str(), found.softwareHive.c_str(), problem);
        if (source == nullptr)
            problem = "dorovivi: " + problem + "; reading an empty registry";
        break;
    case InstallationKind::Windows9x:
        source = OpenCregFileSource(found.registryFile.c_str(), problem);
        if (source == nullptr)
            problem = "dorovivi: " + found.registryFile + ": " + problem + "; reading an empty registry";
        break;
    case InstallationKind::None:
        break;
    }
    if (source != nullptr)
        return source;
    std::fprintf(stderr, "%s\n", problem.c_str());
    LoadRegExport(std::string(), SystemExport);
    return &SystemExportSource;
}

} // namespace

const RegistrySource &SystemRegistry()
{
    if (SystemSource == nullptr)
        SystemSource = OpenInstallation(SystemInstallation());
    return *SystemSource;
}

void ForgetSystemRegistry()
{
    SystemSource = nullptr;
    ForgetSystemInstallation();
}
