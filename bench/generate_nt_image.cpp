// Puts a drive directory into a raw disk image for the benchmark: an MBR and
// one active NTFS partition, through the tests' image writer.
//
//   generate_nt_image DRIVE-DIRECTORY OUT-DIRECTORY NAME    (writes NAME.img)
#include <cstdio>

#include "../tests/fixtures/disk_image_writer.h"

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: generate_nt_image DRIVE-DIRECTORY OUT-DIRECTORY NAME\n");
        return 1;
    }
    std::string error;
    std::string image = WriteDiskImage({FsPartition(FileSystem::Ntfs, argv[1], true)}, Layout::Mbr, Container::Raw,
                                       argv[2], argv[3], &error);
    if (image.empty()) {
        std::fprintf(stderr, "generate_nt_image: %s\n", error.c_str());
        return 1;
    }
    std::puts(image.c_str());
    return 0;
}
