#include "platform/posix/machine/machine_config.h"

#include <cstring>
#include <string_view>

#include "platform/posix/base/text_compare.h"
#include "platform/posix/machine/machine_formats.h"
#include "platform/posix/machine/machine_paths.h"

namespace {

// .vmcx and .vmrs files open with these four bytes.
const unsigned char HyperVMagic[4] = {0x14, 0x20, 0x28, 0x01};
const std::size_t SniffWindow = 4096; // bytes looked at to tell the format

struct FormatReader {
    MachineFormat format;
    const char *name;
    bool (*read)(const MachineConfig &, const std::string &, MachineDisks &, Fault &);
};

const FormatReader Readers[] = {
    {kMachineVirtualBox, "VirtualBox settings", ReadVirtualBoxMachine},
    {kMachineVmx, "VMware .vmx", ReadVmxMachine},
    {kMachineVmsd, "VMware .vmsd", ReadVmsdMachine},
    {kMachineLibvirt, "libvirt domain XML", ReadLibvirtMachine},
    {kMachineProxmox, "Proxmox qemu-server configuration", ReadProxmoxMachine},
    {kMachineVirtualPc, "Virtual PC .vmc", ReadVirtualPcMachine},
    {kMachinePcEmulator, "86Box/PCem configuration", ReadPcEmulatorMachine},
    {kMachineHyperV, "Hyper-V .vmcx", ReadHyperVMachine},
};

// The start of the document as ASCII: UTF-16 (by its byte-order mark) with
// every other byte, else the bytes themselves.
std::string SniffedText(const unsigned char *bytes, std::size_t size)
{
    std::size_t take = size < SniffWindow ? size : SniffWindow;
    std::string text;
    if (take >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        for (std::size_t at = bytes[0] == 0xFF ? 2 : 3; at < take; at += 2)
            text += static_cast<char>(bytes[at]);
        return text;
    }
    std::size_t from = take >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    return std::string(reinterpret_cast<const char *>(bytes) + from, take - from);
}

// The root element's local name, past the declaration, comments and a DOCTYPE.
std::string_view RootElement(std::string_view text)
{
    while (true) {
        text = TrimLeading(text, [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
        const char *close = text.rfind("<?", 0) == 0 ? "?>" : text.rfind("<!--", 0) == 0 ? "-->" : nullptr;
        if (close == nullptr && text.rfind("<!", 0) == 0) {
            std::size_t bracket = text.find('['), end = text.find('>');
            close = bracket < end ? "]>" : ">";
        }
        if (close == nullptr)
            break;
        std::size_t end = text.find(close);
        if (end == std::string_view::npos)
            return {};
        text.remove_prefix(end + std::strlen(close));
    }
    if (text.empty() || text.front() != '<')
        return {};
    std::size_t end = text.find_first_of(" \t\r\n/>", 1);
    std::string_view name = text.substr(1, end == std::string_view::npos ? text.size() - 1 : end - 1);
    std::size_t prefix = name.find(':');
    return prefix == std::string_view::npos ? name : name.substr(prefix + 1);
}

bool IsVmsdKey(std::string_view key)
{
    if (key.size() < 9 || !RegNamesEqual(key.substr(0, 8), "snapshot"))
        return false;
    return (key[8] >= '0' && key[8] <= '9') || RegNamesEqual(key.substr(8), ".lastUID") ||
           RegNamesEqual(key.substr(8), ".numSnapshots");
}

MachineFormat TextFormat(std::string_view text)
{
    bool first = true, settings = false;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = TrimBlanks(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        std::size_t equals = line.find('='), colon = line.find(':');
        if (first && line.front() == '[')
            return kMachinePcEmulator;
        if (first && colon < equals && colon > 0 && (colon + 1 == line.size() || IsBlank(line[colon + 1])) &&
            line.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_-") == colon)
            return kMachineProxmox;
        first = false;
        if (equals == std::string_view::npos)
            return kMachineUnknown;
        settings = true;
        if (IsVmsdKey(TrimBlanks(line.substr(0, equals))))
            return kMachineVmsd;
    }
    return settings ? kMachineVmx : kMachineUnknown;
}

// Names taken from the file may hold line ends; a fault is printed as one line.
void KeepOnOneLine(Fault &fault)
{
    for (std::string *text : {&fault.file, &fault.words})
        for (char &c : *text)
            c = c == '\n' || c == '\r' ? ' ' : c;
}

} // namespace

MachineFormat MachineFormatOf(const char *bytes, std::size_t size)
{
    const unsigned char *data = reinterpret_cast<const unsigned char *>(bytes);
    if (size >= sizeof HyperVMagic && std::memcmp(data, HyperVMagic, sizeof HyperVMagic) == 0)
        return kMachineHyperV;
    std::string text = SniffedText(data, size);
    std::string_view root = RootElement(text);
    if (root == "VirtualBox")
        return kMachineVirtualBox;
    if (root == "domain")
        return kMachineLibvirt;
    if (root == "preferences")
        return kMachineVirtualPc;
    std::string_view start = TrimLeading(text, [](char c) { return c == ' ' || c == '\r' || c == '\n'; });
    if (!start.empty() && start.front() == '<')
        return kMachineUnknown;
    // Past the window the last line may be cut short; the readers check it whole.
    std::size_t lastEnd = text.rfind('\n');
    if (size > SniffWindow && lastEnd != std::string::npos)
        text.resize(lastEnd);
    return TextFormat(text);
}

const char *MachineFormatName(MachineFormat format)
{
    for (const FormatReader &reader : Readers)
        if (reader.format == format)
            return reader.name;
    return "an unknown format";
}

bool ReadMachineDisks(const MachineConfig &config, const std::string &snapshot, MachineDisks &disks, Fault &fault)
{
    disks.format = kMachineUnknown;
    disks.count = 0;
    if (config.size > kMaxMachineConfigBytes) {
        fault = {"", "the configuration is " + std::to_string(config.size) + " bytes; a machine's configuration is " +
                         "at most " + std::to_string(kMaxMachineConfigBytes >> 20) + " MiB, so this is not one"};
        return false;
    }
    MachineFormat format = MachineFormatOf(config.bytes, config.size);
    for (const FormatReader &reader : Readers) {
        if (reader.format != format)
            continue;
        disks.format = format;
        bool read = reader.read(config, snapshot, disks, fault);
        KeepOnOneLine(fault);
        for (int i = 0; i < disks.count; ++i)
            KeepOnOneLine(disks.disk[i].fault);
        SortMachineDisks(disks);
        return read;
    }
    fault = {"", "not a virtual machine configuration: neither VirtualBox, VMware, libvirt, Proxmox, Virtual PC, "
                 "86Box/PCem nor Hyper-V"};
    return false;
}

std::string ProxmoxStoragePath(const std::string &folder)
{
    std::string path = folder;
    auto up = [&path]() {
        std::size_t cut = path.find_last_of('/');
        std::string last = cut == std::string::npos ? path : path.substr(cut + 1);
        path = cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
        return last;
    };
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    up(); // qemu-server
    std::string node = path;
    up();
    if (up() != "nodes") // /etc/pve/nodes/<node>/qemu-server
        path = node;
    return (path == "/" ? "" : path) + "/storage.cfg";
}
