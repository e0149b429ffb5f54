// libtsk gives each image it opens, and each image kind it tries on the way
// (five for a raw disk), a block of over 2 MiB, most of it its read cache.
// The program opens one image a process, the image fuzzer one a run; under
// AddressSanitizer a block that size is mapped, its shadow written over at
// its allocation and its free, and unmapped, which was most of a run. Here
// libtsk's own calls come to these two, which keep the blocks between runs:
// a freed block is emptied and made unreadable, so that a use after the
// image's close still faults, and a page never mapped follows each block,
// so that a read past its end does too.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>

#include <tsk/libtsk.h>

namespace {

struct Block {
    char *base; // `capacity` bytes, then a page never mapped
    std::size_t capacity;
    bool used;
};

// More images than this open at once take the allocator's way.
const int BlocksKept = 8;
Block Blocks[BlocksKept];

std::size_t PageRounded(std::size_t length)
{
    std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return (length + page - 1) / page * page;
}

Block *UnusedBlock(std::size_t length)
{
    for (Block &block : Blocks)
        if (!block.used && block.base != nullptr && block.capacity >= length)
            return &block;
    for (Block &block : Blocks) {
        if (block.base != nullptr)
            continue;
        std::size_t capacity = PageRounded(length);
        void *mapped = mmap(nullptr, capacity + PageRounded(1), PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            return nullptr;
        block = Block{static_cast<char *>(mapped), capacity, false};
        return &block;
    }
    return nullptr;
}

} // namespace

extern "C" void *tsk_img_malloc(std::size_t length)
{
    Block *block = UnusedBlock(length);
    void *given = nullptr;
    if (block != nullptr && mprotect(block->base, block->capacity, PROT_READ | PROT_WRITE) == 0) {
        block->used = true;
        given = block->base;
    } else {
        given = std::calloc(1, length);
    }
    if (given != nullptr)
        static_cast<TSK_IMG_INFO *>(given)->tag = TSK_IMG_INFO_TAG;
    return given;
}

extern "C" void tsk_img_free(void *given)
{
    for (Block &block : Blocks) {
        if (block.base != given || !block.used)
            continue;
        // Zeros at its next use, as calloc gives them, and no access till then.
        if (madvise(block.base, block.capacity, MADV_DONTNEED) != 0 ||
            mprotect(block.base, block.capacity, PROT_NONE) != 0)
            std::abort();
        block.used = false;
        return;
    }
    std::free(given);
}
