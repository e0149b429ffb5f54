// The few C library functions the compiler and the tool call, for a program
// linked without a C runtime. Built with -fno-tree-loop-distribute-patterns
// and -fno-builtin, so that GCC does not turn these loops into calls of the
// functions themselves.
#include <cstddef>

extern "C" {

void *memcpy(void *destination, const void *source, std::size_t size)
{
    unsigned char *to = static_cast<unsigned char *>(destination);
    const unsigned char *from = static_cast<const unsigned char *>(source);
    while (size-- > 0)
        *to++ = *from++;
    return destination;
}

void *memset(void *destination, int value, std::size_t size)
{
    unsigned char *to = static_cast<unsigned char *>(destination);
    while (size-- > 0)
        *to++ = static_cast<unsigned char>(value);
    return destination;
}

std::size_t strlen(const char *text)
{
    const char *end = text;
    while (*end != '\0')
        ++end;
    return static_cast<std::size_t>(end - text);
}

int strcmp(const char *left, const char *right)
{
    const unsigned char *a = reinterpret_cast<const unsigned char *>(left);
    const unsigned char *b = reinterpret_cast<const unsigned char *>(right);
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a - *b;
}

} // extern "C"
