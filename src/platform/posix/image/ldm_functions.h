// libldm's functions, as the program calls them.
#pragma once

#include <ldm.h>

#include "platform/posix/base/library_loading.h"

// libldm reads the metadata of dynamic disks, handed to it as descriptors of
// copies (see ldm_metadata_copy.h); glib's own calls free what it hands out,
// bound through libldm's handle, as glib is loaded as its dependency.
#define LDM_FUNCTIONS(F) \
    F(create, ldm_new) \
    F(add_fd, ldm_add_fd) \
    F(get_disk_groups, ldm_get_disk_groups) \
    F(group_get_volumes, ldm_disk_group_get_volumes) \
    F(group_get_name, ldm_disk_group_get_name) \
    F(volume_get_partitions, ldm_volume_get_partitions) \
    F(volume_get_name, ldm_volume_get_name) \
    F(volume_get_voltype, ldm_volume_get_voltype) \
    F(volume_get_size, ldm_volume_get_size) \
    F(volume_get_chunk_size, ldm_volume_get_chunk_size) \
    F(partition_get_disk, ldm_partition_get_disk) \
    F(partition_get_start, ldm_partition_get_start) \
    F(partition_get_size, ldm_partition_get_size) \
    F(disk_get_name, ldm_disk_get_name) \
    F(disk_get_device, ldm_disk_get_device) \
    F(disk_get_data_start, ldm_disk_get_data_start) \
    F(free_memory, g_free) \
    F(array_unref, g_array_unref) \
    F(object_unref, g_object_unref) \
    F(error_free, g_error_free)
struct LdmFunctions {
    LDM_FUNCTIONS(DECLARE_READER_FUNCTION)
};
