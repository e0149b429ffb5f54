// The disk image readers, loaded only when the root is an image: libtsk for
// containers, partition tables and file systems, libqcow for qcow2, libvhdi
// for VHD and VHDX, libvmdk for VMDK (each only for its own kind).
#pragma once

#include <string>

#include <libqcow.h>
#include <libvhdi.h>
#include <libvmdk.h>
#include <tsk/libtsk.h>

struct TskFunctions {
    decltype(&tsk_img_open_utf8) img_open_utf8;
    decltype(&tsk_img_open_external) img_open_external;
    decltype(&tsk_img_read) img_read;
    decltype(&tsk_vs_open) vs_open;
    decltype(&tsk_vs_part_get) vs_part_get;
    decltype(&tsk_fs_open_img) fs_open_img;
    decltype(&tsk_fs_open_vol) fs_open_vol;
    decltype(&tsk_fs_dir_open_meta) fs_dir_open_meta;
    decltype(&tsk_fs_dir_getsize) fs_dir_getsize;
    decltype(&tsk_fs_dir_get) fs_dir_get;
    decltype(&tsk_fs_dir_close) fs_dir_close;
    decltype(&tsk_fs_file_open_meta) fs_file_open_meta;
    decltype(&tsk_fs_file_read) fs_file_read;
    decltype(&tsk_fs_file_close) fs_file_close;
    decltype(&tsk_error_get) error_get;
    decltype(&tsk_error_reset) error_reset;
};

struct QcowFunctions {
    decltype(&libqcow_file_initialize) file_initialize;
    decltype(&libqcow_file_open) file_open;
    decltype(&libqcow_file_get_media_size) file_get_media_size;
    decltype(&libqcow_file_read_buffer_at_offset) file_read_buffer_at_offset;
    decltype(&libqcow_file_set_parent_file) file_set_parent_file;
};

struct VhdiFunctions {
    decltype(&libvhdi_file_initialize) file_initialize;
    decltype(&libvhdi_file_open) file_open;
    decltype(&libvhdi_file_get_disk_type) file_get_disk_type;
    decltype(&libvhdi_file_get_media_size) file_get_media_size;
    decltype(&libvhdi_file_set_parent_file) file_set_parent_file;
    decltype(&libvhdi_file_read_buffer_at_offset) file_read_buffer_at_offset;
};

struct VmdkFunctions {
    decltype(&libvmdk_handle_initialize) handle_initialize;
    decltype(&libvmdk_handle_open) handle_open;
    decltype(&libvmdk_handle_open_extent_data_files) handle_open_extent_data_files;
    decltype(&libvmdk_handle_get_media_size) handle_get_media_size;
    decltype(&libvmdk_handle_get_content_identifier) handle_get_content_identifier;
    decltype(&libvmdk_handle_get_parent_content_identifier) handle_get_parent_content_identifier;
    decltype(&libvmdk_handle_get_utf8_parent_filename_size) handle_get_utf8_parent_filename_size;
    decltype(&libvmdk_handle_get_utf8_parent_filename) handle_get_utf8_parent_filename;
    decltype(&libvmdk_handle_set_parent_handle) handle_set_parent_handle;
    decltype(&libvmdk_handle_read_buffer_at_offset) handle_read_buffer_at_offset;
};

// Loaded on first use and kept; null with `problem` set where the library
// or one of its functions is missing.
const TskFunctions *TskLibrary(std::string &problem);
const QcowFunctions *QcowLibrary(std::string &problem);
const VhdiFunctions *VhdiLibrary(std::string &problem);
const VmdkFunctions *VmdkLibrary(std::string &problem);

// libtsk's description of its last error, on one line; clears it.
std::string TakeTskError(const TskFunctions *tsk);
