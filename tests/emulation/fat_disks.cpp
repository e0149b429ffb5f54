#include "fat_disks.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "process_run.h"

const std::string Dat98 = "CREG 98 registry";

std::string Dir()
{
    static std::string dir;
    if (dir.empty())
        dir = MakeTempDir("dorovivi-image");
    return dir;
}

bool RunTool(const std::string &command)
{
    std::string log = Dir() + "/tool.log";
    bool ran = std::system(("MTOOLS_SKIP_CHECK=1 " + command + " >'" + log + "' 2>&1").c_str()) == 0;
    if (!ran && std::system(("cat '" + log + "' >&2").c_str()) != 0)
        std::fprintf(stderr, "%s failed, and so did showing its output\n", command.c_str());
    return ran;
}

std::string Quote(const std::string &text)
{
    return "'" + text + "'";
}

namespace {

// A FAT file system of `sectors` in a file, filled with `files`.
bool WriteFat(const Part &part, const std::string &path)
{
    std::string host = path + ".tree";
    mkdir(host.c_str(), 0755);
    for (const File &f : part.files) {
        for (std::size_t cut = f.path.find('/'); cut != std::string::npos; cut = f.path.find('/', cut + 1))
            mkdir((host + "/" + f.path.substr(0, cut)).c_str(), 0755);
        if (f.path.back() != '/')
            std::ofstream(host + "/" + f.path, std::ios::binary) << f.content;
    }
    return RunTool("mkfs.fat -F " + part.fat + " -s 1 -C " + Quote(path) + " " + std::to_string(part.sectors / 2)) &&
           (part.files.empty() || RunTool("mcopy -s -i " + Quote(path) + " " + Quote(host) + "/* ::"));
}

} // namespace

std::string WriteDisk(const std::string &name, const std::string &label, const std::vector<Part> &parts,
                      std::size_t logicalFrom)
{
    std::string disk = Dir() + "/" + name;
    if (label == "bare")
        return WriteFat(parts[0], disk) ? disk : "";
    std::ostringstream table;
    table << "label: " << label << "\n";
    unsigned start = 2048, total = 2048;
    for (const Part &p : parts)
        total += p.sectors + 2048;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (logicalFrom != 0 && i == logicalFrom) {
            table << "start=" << start << ", type=5\n";
            start += 64;
        }
        table << "start=" << start << ", size=" << parts[i].sectors << ", type="
              << (label == "gpt" ? parts[i].gptType : std::to_string(parts[i].type))
              << (parts[i].bootable ? ", bootable" : "") << "\n";
        std::string content = disk + ".part" + std::to_string(i);
        if (!parts[i].fat.empty() ? !WriteFat(parts[i], content)
                                  : !(std::ofstream(content) << std::string(parts[i].sectors * 512, '\xf6')))
            return "";
        if (!RunTool("truncate -s " + std::to_string(total * 512ULL) + " " + Quote(disk)) ||
            !RunTool("dd if=" + Quote(content) + " of=" + Quote(disk) + " bs=512 seek=" + std::to_string(start) +
                 " conv=notrunc"))
            return "";
        start += parts[i].sectors + 2048;
    }
    std::ofstream(disk + ".sfdisk") << table.str();
    return RunTool("sfdisk -q " + Quote(disk) + " < " + Quote(disk + ".sfdisk")) ? disk : "";
}

std::string Convert(const std::string &raw, const std::string &container)
{
    std::string out = raw + "." + container;
    if (container == "raw")
        return raw;
    if (container == "split") // 64 KiB segments: every file lies past the first
        return RunTool("split -b 64K -d -a 3 --numeric-suffixes=1 " + Quote(raw) + " " + Quote(raw + ".")) ? raw + ".001"
                                                                                                         : "";
    if (container == "E01")
        return RunTool("ewfacquire -u -t " + Quote(raw + ".ewf") + " -S 1048576 -c none " + Quote(raw)) ? raw + ".ewf.E01"
                                                                                                    : "";
    const char *options = container == "vhd-fixed"   ? "-O vpc -o subformat=fixed"
                          : container == "vhd"       ? "-O vpc"
                          : container == "vmdk"      ? "-O vmdk"
                          : container == "vmdk-flat" ? "-O vmdk -o subformat=monolithicFlat"
                          : container == "qcow2-v2"  ? "-O qcow2 -o compat=0.10"
                          : container == "vhdx"      ? "-O vhdx"
                          : container == "vhdx-fixed" ? "-O vhdx -o subformat=fixed"
                          : container == "vdi"       ? "-O vdi"
                          : container == "vdi-fixed" ? "-O vdi -o static=on"
                                                     : "-O qcow2 -o compat=1.1";
    return RunTool(std::string("qemu-img convert -f raw ") + options + " " + Quote(raw) + " " + Quote(out)) ? out : "";
}

std::vector<File> Win98(const std::string &dir)
{
    return {{dir + "/SYSTEM.DAT", Dat98}};
}

Part Fat(const std::string &fat, const std::vector<File> &files, bool bootable)
{
    Part p;
    p.fat = fat;
    p.files = files;
    p.bootable = bootable;
    p.sectors = fat == "12" ? 2048 : fat == "16" ? 8192 : 70000; // what each takes with one sector a cluster
    return p;
}

bool ChildrenLeft()
{
    return !(waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD);
}
