// Preloaded: every write to standard output takes nothing, as a device at its
// end may answer; with DOROVIVI_FILES_TAKE_NOTHING=1, so does every write to a
// regular file, as a full disk may. Children run without it.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

static bool FilesTakeNothing = false;

extern "C" ssize_t write(int fd, const void *bytes, size_t size)
{
    using Write = ssize_t (*)(int, const void *, size_t);
    static Write next = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
    struct stat info;
    if (size > 0 && FilesTakeNothing && fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        return 0;
    if (fd == STDOUT_FILENO && size > 0 && !FilesTakeNothing)
        return 0;
    return next(fd, bytes, size);
}

__attribute__((constructor)) static void DropFromChildren()
{
    const char *files = getenv("DOROVIVI_FILES_TAKE_NOTHING");
    FilesTakeNothing = files != nullptr && files[0] == '1';
    unsetenv("LD_PRELOAD");
}
