// The disk image readers, loaded only when the root is an image: libtsk for
// partition tables and file systems, libqcow for qcow2, libvhdi for VHD and
// VHDX, libvmdk for VMDK, libewf for E01, libldm for the metadata of dynamic
// disks. Every one reads from descriptors the program opened (see
// bfio_descriptor.h), never from a name.
#pragma once

#include <string>

#include "platform/posix/base/library_loading.h"
#include "platform/posix/image/bfio_descriptor.h"

#include <libewf.h>
#include <libqcow.h>
#include <libvhdi.h>
#include <libvmdk.h>
#include <tsk/libtsk.h>

// libtsk's own rule for the names of a split image's segments; exported,
// though no header of this libtsk declares it. The names and the list are
// the caller's to free.
extern "C" TSK_TCHAR **tsk_img_findFiles(const TSK_TCHAR *startingName, int *numFound);

// libvhdi, libvmdk and libewf are loaded as libtsk's own dependencies, and
// all their calls into libbfio bind to the first copy in libtsk's scope
// (libvhdi carries one): that copy is bound from libtsk's handle, and a
// handle for any of the three is made by it. libqcow, loaded alone, uses its own.
#define BFIO_FUNCTIONS(F) \
    F(bfio_handle_initialize, libbfio_handle_initialize) \
    F(bfio_handle_free, libbfio_handle_free) \
    F(bfio_pool_initialize, libbfio_pool_initialize) \
    F(bfio_pool_append_handle, libbfio_pool_append_handle) \
    F(bfio_pool_free, libbfio_pool_free)

#define TSK_FUNCTIONS(F) \
    F(img_find_files, tsk_img_findFiles) \
    F(img_open_external, tsk_img_open_external) \
    F(img_read, tsk_img_read) \
    F(vs_open, tsk_vs_open) \
    F(vs_part_get, tsk_vs_part_get) \
    F(vs_close, tsk_vs_close) \
    F(fs_open_img, tsk_fs_open_img) \
    F(fs_open_vol, tsk_fs_open_vol) \
    F(fs_close, tsk_fs_close) \
    F(fs_dir_open_meta, tsk_fs_dir_open_meta) \
    F(fs_dir_getsize, tsk_fs_dir_getsize) \
    F(fs_dir_get, tsk_fs_dir_get) \
    F(fs_dir_close, tsk_fs_dir_close) \
    F(fs_file_open_meta, tsk_fs_file_open_meta) \
    F(fs_file_read, tsk_fs_file_read) \
    F(fs_file_close, tsk_fs_file_close) \
    F(error_get, tsk_error_get) \
    F(error_reset, tsk_error_reset) \
    BFIO_FUNCTIONS(F)
struct TskFunctions {
    TSK_FUNCTIONS(DECLARE_READER_FUNCTION)
};

#define QCOW_FUNCTIONS(F) \
    F(file_initialize, libqcow_file_initialize) \
    F(file_open_file_io_handle, libqcow_file_open_file_io_handle) \
    F(file_get_media_size, libqcow_file_get_media_size) \
    F(file_set_parent_file, libqcow_file_set_parent_file) \
    F(file_close, libqcow_file_close) \
    F(file_free, libqcow_file_free) \
    BFIO_FUNCTIONS(F)
struct QcowFunctions {
    QCOW_FUNCTIONS(DECLARE_READER_FUNCTION)
};

#define VHDI_FUNCTIONS(F) \
    F(file_initialize, libvhdi_file_initialize) \
    F(file_open_file_io_handle, libvhdi_file_open_file_io_handle) \
    F(file_get_disk_type, libvhdi_file_get_disk_type) \
    F(file_get_media_size, libvhdi_file_get_media_size) \
    F(file_set_parent_file, libvhdi_file_set_parent_file) \
    F(file_read_buffer_at_offset, libvhdi_file_read_buffer_at_offset) \
    F(file_close, libvhdi_file_close) \
    F(file_free, libvhdi_file_free)
struct VhdiFunctions {
    VHDI_FUNCTIONS(DECLARE_READER_FUNCTION)
};

#define VMDK_FUNCTIONS(F) \
    F(handle_initialize, libvmdk_handle_initialize) \
    F(handle_close, libvmdk_handle_close) \
    F(handle_free, libvmdk_handle_free) \
    F(handle_open_file_io_handle, libvmdk_handle_open_file_io_handle) \
    F(handle_open_extent_data_files_file_io_pool, libvmdk_handle_open_extent_data_files_file_io_pool) \
    F(handle_get_media_size, libvmdk_handle_get_media_size) \
    F(handle_get_content_identifier, libvmdk_handle_get_content_identifier) \
    F(handle_get_parent_content_identifier, libvmdk_handle_get_parent_content_identifier) \
    F(handle_get_utf8_parent_filename_size, libvmdk_handle_get_utf8_parent_filename_size) \
    F(handle_get_utf8_parent_filename, libvmdk_handle_get_utf8_parent_filename) \
    F(handle_set_parent_handle, libvmdk_handle_set_parent_handle) \
    F(handle_read_buffer_at_offset, libvmdk_handle_read_buffer_at_offset) \
    F(handle_get_number_of_extents, libvmdk_handle_get_number_of_extents) \
    F(handle_get_extent_descriptor, libvmdk_handle_get_extent_descriptor) \
    F(extent_descriptor_free, libvmdk_extent_descriptor_free) \
    F(extent_descriptor_get_type, libvmdk_extent_descriptor_get_type) \
    F(extent_descriptor_get_range, libvmdk_extent_descriptor_get_range) \
    F(extent_descriptor_get_utf8_filename_size, libvmdk_extent_descriptor_get_utf8_filename_size) \
    F(extent_descriptor_get_utf8_filename, libvmdk_extent_descriptor_get_utf8_filename)
struct VmdkFunctions {
    VMDK_FUNCTIONS(DECLARE_READER_FUNCTION)
};

#define EWF_FUNCTIONS(F) \
    F(handle_initialize, libewf_handle_initialize) \
    F(handle_open_file_io_pool, libewf_handle_open_file_io_pool) \
    F(handle_get_media_size, libewf_handle_get_media_size) \
    F(handle_read_random, libewf_handle_read_random) \
    F(handle_close, libewf_handle_close) \
    F(handle_free, libewf_handle_free)
struct EwfFunctions {
    EWF_FUNCTIONS(DECLARE_READER_FUNCTION)
};

// libldm's table (ldm_functions.h), kept apart so that only the readers of
// dynamic disks see glib's headers.
struct LdmFunctions;

// The libbfio a table's library uses, from libtsk's table or libqcow's.
template <typename Functions>
BfioFunctions BfioOf(const Functions *functions)
{
    return {functions->bfio_handle_initialize, functions->bfio_handle_free, functions->bfio_pool_initialize,
            functions->bfio_pool_append_handle, functions->bfio_pool_free};
}

// Loaded on first use and kept; null with `fault` set where the library
// or one of its functions is missing. libtsk is loaded before the libraries
// it depends on, so that they are bound in its scope.
const TskFunctions *TskLibrary(Fault &fault);
const QcowFunctions *QcowLibrary(Fault &fault);
const VhdiFunctions *VhdiLibrary(Fault &fault);
const VmdkFunctions *VmdkLibrary(Fault &fault);
const EwfFunctions *EwfLibrary(Fault &fault);
const LdmFunctions *LdmLibrary(Fault &fault);

// Loads every reader an image may need, before the reading process gives up
// its right to open files; false with `fault` naming the first missing.
bool LoadImageLibraries(Fault &fault);
// libldm, with glib: loaded only for a machine with dynamic disks, as it
// costs every other image run a twentieth of its instructions.
bool LoadDynamicDiskLibrary(Fault &fault);

// libtsk's description of its last error, on one line; clears it.
std::string TakeTskError(const TskFunctions *tsk);
