// A libbfio handle over a descriptor the program already holds, so that a
// libyal reader reads the very file that was opened (through the broker, in
// a child that may open nothing by name) instead of opening a name again.
#pragma once

#include <libbfio.h>

// Each libyal library used here carries its own copy of libbfio, and a
// handle is handed only to the copy that made it: these are that copy's.
struct BfioFunctions {
    decltype(&libbfio_handle_initialize) handle_initialize;
    decltype(&libbfio_handle_free) handle_free;
    decltype(&libbfio_pool_initialize) pool_initialize;
    decltype(&libbfio_pool_append_handle) pool_append_handle;
    decltype(&libbfio_pool_free) pool_free;
};

// A read-only handle over a duplicate of `fd`, closed with the handle;
// null when it cannot be made. A write through it fails.
libbfio_handle_t *DescriptorHandle(const BfioFunctions &bfio, int fd);

// A pool of such handles, one per descriptor in order; null when any fails.
libbfio_pool_t *DescriptorPool(const BfioFunctions &bfio, const int *fds, int count);
