// The disk image readers, loaded only when the root is an image: libtsk for
// containers, partition tables and file systems, libqcow for qcow2, libvhdi
// for VHD and VHDX, libvmdk for VMDK (each only for its own kind).
#pragma once

#include <string>

#include "platform/posix/base/library_loading.h"

#include <libqcow.h>
#include <libvhdi.h>
#include <libvmdk.h>
#include <tsk/libtsk.h>

#define TSK_FUNCTIONS(F) \
    F(img_open_utf8, tsk_img_open_utf8) \
    F(img_open_external, tsk_img_open_external) \
    F(img_read, tsk_img_read) \
    F(vs_open, tsk_vs_open) \
    F(vs_part_get, tsk_vs_part_get) \
    F(fs_open_img, tsk_fs_open_img) \
    F(fs_open_vol, tsk_fs_open_vol) \
    F(fs_dir_open_meta, tsk_fs_dir_open_meta) \
    F(fs_dir_getsize, tsk_fs_dir_getsize) \
    F(fs_dir_get, tsk_fs_dir_get) \
    F(fs_dir_close, tsk_fs_dir_close) \
    F(fs_file_open_meta, tsk_fs_file_open_meta) \
    F(fs_file_read, tsk_fs_file_read) \
    F(fs_file_close, tsk_fs_file_close) \
    F(error_get, tsk_error_get) \
    F(error_reset, tsk_error_reset)
struct TskFunctions {
    TSK_FUNCTIONS(DECLARE_READER_FUNCTION)
};

#define QCOW_FUNCTIONS(F) \
    F(file_initialize, libqcow_file_initialize) \
    F(file_open, libqcow_file_open) \
    F(file_get_media_size, libqcow_file_get_media_size) \
    F(file_set_parent_file, libqcow_file_set_parent_file)
struct QcowFunctions {
    QCOW_FUNCTIONS(DECLARE_READER_FUNCTION)
};

#define VHDI_FUNCTIONS(F) \
    F(file_initialize, libvhdi_file_initialize) \
    F(file_open, libvhdi_file_open) \
    F(file_get_disk_type, libvhdi_file_get_disk_type) \
    F(file_get_media_size, libvhdi_file_get_media_size) \
    F(file_set_parent_file, libvhdi_file_set_parent_file) \
    F(file_read_buffer_at_offset, libvhdi_file_read_buffer_at_offset)
struct VhdiFunctions {
    VHDI_FUNCTIONS(DECLARE_READER_FUNCTION)
};

#define VMDK_FUNCTIONS(F) \
    F(handle_initialize, libvmdk_handle_initialize) \
    F(handle_open, libvmdk_handle_open) \
    F(handle_open_extent_data_files, libvmdk_handle_open_extent_data_files) \
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

// Loaded on first use and kept; null with `fault` set where the library
// or one of its functions is missing.
const TskFunctions *TskLibrary(Fault &fault);
const QcowFunctions *QcowLibrary(Fault &fault);
const VhdiFunctions *VhdiLibrary(Fault &fault);
const VmdkFunctions *VmdkLibrary(Fault &fault);

// libtsk's description of its last error, on one line; clears it.
std::string TakeTskError(const TskFunctions *tsk);
