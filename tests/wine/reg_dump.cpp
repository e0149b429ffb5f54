// Prints every key and value below HKLM\<argument>, for the differential
// test of the .reg import. Each key is a line "K <path A> <path W>", each of
// its values "V <name A> <name W> <type> <data A> <data W>", every field in
// hex ("-" when empty): what RegEnumValueA and RegEnumValueW hand out.
#include <windows.h>

#include <cstdio>

namespace {

BYTE DataA[1 << 20];
BYTE DataW[1 << 20];

void PrintHex(const void *bytes, DWORD size)
{
    if (size == 0)
        std::fputs(" -", stdout);
    else
        std::fputc(' ', stdout);
    for (DWORD i = 0; i < size; ++i)
        std::printf("%02x", static_cast<const BYTE *>(bytes)[i]);
}

void DumpKey(HKEY key, const char *pathA, DWORD lengthA, const WCHAR *pathW, DWORD lengthW)
{
    std::fputs("K", stdout);
    PrintHex(pathA, lengthA);
    PrintHex(pathW, lengthW * sizeof(WCHAR));
    std::fputs("\n", stdout);
    for (DWORD i = 0;; ++i) {
        char nameA[32768];
        WCHAR nameW[32768];
        DWORD nameLengthA = sizeof nameA, nameLengthW = 32768, typeA, typeW;
        DWORD sizeA = sizeof DataA, sizeW = sizeof DataW;
        if (RegEnumValueW(key, i, nameW, &nameLengthW, nullptr, &typeW, DataW, &sizeW) != ERROR_SUCCESS ||
            RegEnumValueA(key, i, nameA, &nameLengthA, nullptr, &typeA, DataA, &sizeA) != ERROR_SUCCESS)
            break;
        std::fputs("V", stdout);
        PrintHex(nameA, nameLengthA);
        PrintHex(nameW, nameLengthW * sizeof(WCHAR));
        std::printf(" %lx", static_cast<unsigned long>(typeW));
        PrintHex(DataA, sizeA);
        PrintHex(DataW, sizeW);
        std::fputs("\n", stdout);
    }
    for (DWORD i = 0;; ++i) {
        char nameA[1024];
        WCHAR nameW[1024];
        DWORD nameLengthA = sizeof nameA, nameLengthW = 1024;
        if (RegEnumKeyExW(key, i, nameW, &nameLengthW, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            RegEnumKeyExA(key, i, nameA, &nameLengthA, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY child;
        if (RegOpenKeyExW(key, nameW, 0, KEY_READ, &child) != ERROR_SUCCESS)
            continue;
        char childA[4096];
        WCHAR childW[4096];
        if (lengthA + 1 + nameLengthA >= sizeof childA || lengthW + 1 + nameLengthW >= 4096) {
            RegCloseKey(child);
            continue;
        }
        CopyMemory(childA, pathA, lengthA);
        childA[lengthA] = '\\';
        CopyMemory(childA + lengthA + 1, nameA, nameLengthA);
        CopyMemory(childW, pathW, lengthW * sizeof(WCHAR));
        childW[lengthW] = L'\\';
        CopyMemory(childW + lengthW + 1, nameW, nameLengthW * sizeof(WCHAR));
        DumpKey(child, childA, lengthA + 1 + nameLengthA, childW, lengthW + 1 + nameLengthW);
        RegCloseKey(child);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2)
        return 2;
    HKEY root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[1], 0, KEY_READ, &root) != ERROR_SUCCESS)
        return 1;
    WCHAR rootW[1024];
    int lengthW = MultiByteToWideChar(CP_ACP, 0, argv[1], -1, rootW, 1024);
    DumpKey(root, argv[1], static_cast<DWORD>(lstrlenA(argv[1])), rootW, lengthW > 0 ? lengthW - 1 : 0);
    RegCloseKey(root);
    return 0;
}
