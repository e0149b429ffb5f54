// Any bytes as a disk image, read as the image child reads it and its
// registry then opened and asked as the parser child does, both by direct
// calls in this process: the child must choose an installation whose files
// it serves, or say in one line why not; nothing crashes, hangs or reads
// out of bounds. The forks, pipes and sandbox around them are not fuzzed here.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/base/fd_io.h"
#include "platform/posix/base/line_diverter.h"
#include "platform/posix/parser/parser_child.h"
#include "platform/posix/parser/parser_protocol.h"
#include "platform/posix/root/image_child.h"

// Every layer closes the one it stands on, so what a run opened goes with
// its images. The leaks left are the libraries' own: libcreg's; libewf's
// chunk that a failed read of a damaged E01 drops (the handle it belongs to
// is freed: a handle left open shows its own allocations); and libvhdi's
// metadata table entry, which Debian's 20210425 drops where the entry
// fails its checks.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libcreg_data_block_entry_initialize\nleak:libewf_chunk_data_initialize\n"
           "leak:libvhdi_metadata_table_entry_initialize\n";
}

namespace {

std::string Scratch;
std::vector<std::string> Beside; // the names of the files laid beside each input
const std::string NoWindir;

unsigned char Payload[kServerReadLargest];

// The parent's Installation from the answer, its files read as the program
// reads them, from the child's serving called in this process.
Installation Found(ImageWork &work, ImageAnswer &answer)
{
    auto server = std::make_shared<ImageServer>();
    server->serveHere = ServeInChild;
    server->serveContext = &work;
    Installation found;
    found.kind = static_cast<InstallationKind>(answer.kind);
    found.windowsFound = true;
    found.registry = TakeImageFile(server, answer.files, kImageRegistryFile);
    if (found.kind == InstallationKind::WindowsNt) {
        found.software = TakeImageFile(server, answer.files, kImageSoftwareHive);
        TakeImageLogs(server, answer.files, found);
    }
    return found;
}

// The parser child's questions, as the program asks them.
void Ask(ParserJob &job)
{
    const char *keys[] = {"SYSTEM\\Select", "SYSTEM\\CurrentControlSet\\Services\\TESRO411\\Parameters",
                          "Software\\KALVORA\\KALVORA PXM", "Software\\Microsoft\\Windows NT\\CurrentVersion",
                          "Enum\\PCMCIA\\MORVAL_TECHNOLOGIES-TESSARO/IEEE-A7E2\\0",
                          "System\\CurrentControlSet\\Services\\Class\\Net\\0000",
                          "Software\\Microsoft\\Windows\\CurrentVersion"};
    const char *names[] = {"", "Current", "Driver", "VendorDescription", "CurrentVersion", "VersionNumber"};
    static ServerRequest request;
    for (const char *key : keys) {
        for (std::uint32_t op : {kAskKey, kAskLastWrite, kAskValue}) {
            for (const char *name : names) {
                std::size_t length = std::strlen(key);
                std::memcpy(request.text, key, length + 1);
                std::strcpy(request.text + length + 1, name);
                request.op = op;
                request.offset = 0;
                request.size = kServerReadLargest;
                request.textSize = static_cast<std::uint32_t>(length + 1 + std::strlen(name));
                ServerReplyHeader reply = {0, 0};
                AnswerForParser(&job, request, reply, Payload);
                if (reply.got > request.size || (op == kAskValue && reply.error == 0 && reply.got < sizeof(ValueAnswer)))
                    std::abort();
                if (op != kAskValue)
                    break;
            }
        }
    }
}

// What the image child holds goes with its run here, as with its process there.
void Close(const ImageWork &work)
{
    for (TSK_FS_FILE *file : work.open.files)
        if (file != nullptr)
            tsk_fs_file_close(file);
    for (const auto &tree : work.trees)
        tsk_fs_close(tree->fs);
    for (TSK_IMG_INFO *layer : work.layers)
        tsk_img_close(layer);
    for (TSK_IMG_INFO *image : work.images)
        tsk_img_close(image);
}

std::vector<int> OpenDescriptors()
{
    std::vector<int> open;
    DIR *dir = opendir("/proc/self/fd");
    if (dir == nullptr)
        std::abort();
    while (const dirent *entry = readdir(dir))
        if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != dirfd(dir))
            open.push_back(std::atoi(entry->d_name));
    closedir(dir);
    return open;
}

// A descriptor still open once the images are closed is a layer that does not close.
void CheckNoNewDescriptors(const std::vector<int> &before)
{
    for (int fd : OpenDescriptors())
        if (std::find(before.begin(), before.end(), fd) == before.end())
            std::abort();
}

// A seed folder's "-beside" files (a chain's parents, a flat VMDK's extent,
// a split image's later segments) lie beside every input; the segments as
// the input's own, so that a raw disk reads as the first of them.
void LayBeside(const std::string &folder)
{
    DIR *dir = opendir((folder + "-beside").c_str());
    for (const dirent *entry; dir != nullptr && (entry = readdir(dir)) != nullptr;) {
        std::string name = entry->d_name;
        if (name[0] == '.')
            continue;
        std::size_t dot = name.rfind('.');
        if (dot != std::string::npos && name.find_first_not_of("0123456789", dot + 1) == std::string::npos)
            name = "disk" + name.substr(dot);
        std::ifstream in(folder + "-beside/" + entry->d_name, std::ios::binary);
        std::ofstream(Scratch + "/" + name, std::ios::binary) << in.rdbuf();
        Beside.push_back(name);
    }
    if (dir != nullptr)
        closedir(dir);
}

// An E01's segments and a split image's are found by their names, and a
// sparse VMDK names its own file as its extent: the input goes by the name
// its kind needs, never one of the files beside it.
std::string InputName(const std::uint8_t *data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char *>(data), size < 65536 ? size : 65536);
    if (bytes.substr(0, 3) == "EVF")
        return "disk.E01";
    std::size_t at = bytes.substr(0, 4) == "KDMV" ? bytes.find("SPARSE \"") : bytes.npos;
    if (at == bytes.npos)
        return "disk.001";
    std::string name(bytes.substr(at + 8, bytes.find('"', at + 8) - at - 8));
    bool fits = !name.empty() && name.size() < 64 && name.find_first_of(std::string("/\0", 2)) == name.npos &&
                name[0] != '.' &&
                std::find(Beside.begin(), Beside.end(), name) == Beside.end();
    return fits ? name : "disk.vmdk";
}

// Written over the last input's file where the name is the same, reusing
// its pages (a new file of megabytes each run took over a tenth of a run);
// under another name, the last one goes first.
void WriteInput(const std::string &image, const std::uint8_t *data, std::size_t size)
{
    static std::string last;
    if (last != image && !last.empty())
        unlink(last.c_str());
    last = image;
    int fd = open(image.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || !WriteAll(fd, data, size) || ftruncate(fd, static_cast<off_t>(size)) != 0)
        std::abort();
    close(fd);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    char pattern[] = "/dev/shm/dorovivi-fuzz-image-XXXXXX";
    const char *dir = mkdtemp(pattern);
    if (dir == nullptr)
        std::abort();
    Scratch = dir;
    for (int i = 1; i < *argc; ++i)
        if ((*argv)[i][0] != '-')
            LayBeside((*argv)[i]);
    // As in the children, the lines go to the parent; here, nowhere.
    DivertLines([](LineKind, const std::string &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string image = Scratch + "/" + InputName(data, size);
    WriteInput(image, data, size);
    std::vector<int> before = OpenDescriptors();
    static ImageAnswer answer;
    std::memset(&answer, 0, sizeof answer);
    ImageWork work = {&image, &NoWindir, {}, {}, {}, {}, nullptr, false, "", {}, 0, true, {}, {}};
    ReadImageInChild(&work, &answer);
    if (answer.dynamicDisks != 0) { // read again, in the program, by a child that loads libldm first
        Close(work);
        CheckNoNewDescriptors(before);
        return 0;
    }
    InstallationKind kind = static_cast<InstallationKind>(answer.kind);
    bool chosen = kind == InstallationKind::Windows9x || kind == InstallationKind::WindowsNt;
    if (chosen == !answer.problem.Empty() || answer.problem.Take().find('\n') != std::string::npos)
        std::abort(); // a choice, or one line why none
    if (chosen) {
        ParserJob job;
        job.root = image;
        job.image = true;
        job.found = Found(work, answer);
        bool software = job.found.software.Open() || !job.found.software.unopened.empty(); // SYSTEM may be alone
        if (!job.found.registry.Open() || (kind == InstallationKind::WindowsNt) != software)
            std::abort(); // the child opens what it names, or says why not
        ParserStart start;
        ReadForParser(&job, &start);
        Ask(job);
        CloseOpenedRegistry(job.opened);
    }
    Close(work);
    CheckNoNewDescriptors(before);
    return 0;
}
