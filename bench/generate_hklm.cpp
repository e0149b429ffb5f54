// Writes a realistic HKEY_LOCAL_MACHINE export of about the size asked for:
// services, device classes and software vendors with typical values, the NT
// version key, and last of all nine adapter instances that carry another
// card (the worst case for "H": every instance read, twice) and the
// companion product's key.
//
//   generate_hklm SIZE_MB {4|5|deep} OUTPUT
//
// Form 4 is a REGEDIT4 file; form 5 a version 5 file in UTF-16LE; "deep" a
// REGEDIT4 file of keys twelve levels down with long names and forty values
// each.
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::FILE *Out;
bool Wide;
long long Written;

void Emit(const std::string &text)
{
    if (!Wide) {
        std::fwrite(text.data(), 1, text.size(), Out);
        Written += static_cast<long long>(text.size());
        return;
    }
    std::string wide;
    wide.reserve(text.size() * 2);
    for (char c : text) {
        wide += c;
        wide += '\0';
    }
    std::fwrite(wide.data(), 1, wide.size(), Out);
    Written += static_cast<long long>(wide.size());
}

std::string Hex(unsigned value, int digits)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*x", digits, value);
    return buffer;
}

void Key(const std::string &path)
{
    Emit("\r\n[HKEY_LOCAL_MACHINE\\" + path + "]\r\n");
}

void Text(const std::string &name, const std::string &value)
{
    Emit("\"" + name + "\"=\"" + value + "\"\r\n");
}

void Service(unsigned n)
{
    std::string name = "Svc" + Hex(n, 6);
    Key("System\\CurrentControlSet\\Services\\" + name);
    Text("DisplayName", "Generated service " + std::to_string(n));
    Text("ImagePath", "System32\\drivers\\" + name + ".sys");
    Emit("\"Start\"=dword:" + Hex(n % 5, 8) + "\r\n\"Type\"=dword:00000001\r\n");
    Key("System\\CurrentControlSet\\Services\\" + name + "\\Parameters");
    Emit("\"Flags\"=hex:" + Hex(n & 0xFF, 2) + ",00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e\r\n");
    Text("Description", "Parameters of a generated service used to make the export realistic");
}

void Vendor(unsigned n)
{
    std::string base = "Software\\Vendor" + Hex(n / 16, 5) + "\\Product" + Hex(n % 16, 2);
    Key(base);
    Text("InstallDir", "C:\\\\Program Files\\\\Vendor\\\\Product" + std::to_string(n));
    Text("Version", std::to_string(n % 9) + "." + std::to_string(n % 100));
    Key(base + "\\Settings\\Recent");
    Emit("\"Count\"=dword:" + Hex(n, 8) + "\r\n");
    Emit("\"Blob\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\\\r\n"
         "  18,19,1a,1b,1c,1d,1e,1f\r\n");
}

// Twelve levels of long names, the upper ones shared by many keys.
void DeepKey(unsigned n)
{
    std::string path = "Software\\Classes";
    for (int level = 0; level < 10; ++level) {
        unsigned part = n >> (3 * (9 - level)) & 7;
        path += "\\Level" + std::to_string(level) + "WithALongDescriptiveName_" + Hex(part, 2);
    }
    path += "\\Leaf" + Hex(n, 8) + "ConfigurationSettingsStore";
    Key(path);
    for (int v = 0; v < 40; ++v)
        Text("SettingNumber" + std::to_string(v) + "OfThisLeaf", "value " + std::to_string(n + v));
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 4)
        return 2;
    long long target = std::atoll(argv[1]) * 1024 * 1024;
    Wide = std::string(argv[2]) == "5";
    bool deep = std::string(argv[2]) == "deep";
    Out = std::fopen(argv[3], "wb");
    if (Out == nullptr)
        return 1;
    if (Wide)
        std::fwrite("\xFF\xFE", 1, 2, Out);
    Emit(Wide ? "Windows Registry Editor Version 5.00\r\n" : "REGEDIT4\r\n");
    Key("Software\\Microsoft\\Windows NT\\CurrentVersion");
    Text("CurrentVersion", "5.1");
    Text("CurrentBuildNumber", "2600");
    // In tree order, as regedit exports: the services, then the software.
    if (deep) {
        for (unsigned n = 0; Written < target - 4096; ++n)
            DeepKey(n);
    } else {
        for (unsigned n = 0; Written < target / 2; ++n)
            Service(n);
        for (unsigned n = 0; Written < target - 4096; ++n)
            Vendor(n);
    }
    for (int instance = 1; instance <= 9; ++instance) {
        Key("System\\CurrentControlSet\\Services\\TESRO41" + std::to_string(instance) + "\\Parameters");
        Text("VendorDescription", "Another PC Card");
        Text("DesiredSSID", "Elsewhere");
    }
    Key("Software\\KALVORA\\KALVORA PXM");
    Text("version", "2.10");
    std::fclose(Out);
    return 0;
}
