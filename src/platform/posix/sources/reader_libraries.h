// The readers of Windows registry files, loaded when a Windows drive is
// first read rather than by every start: 'V' and a run over HKLM.reg then
// load nothing but the C library.
#pragma once

#include <string>

#include "platform/posix/base/library_loading.h"

// After the Win32 header: libcreg.h wants libbfio.h, which Debian's
// libcreg-dev does not bring, unless WINAPI is defined.
#include "platform/posix/base/win32_api.h"

#include <hivex.h>
#include <libcreg.h>

#define CREG_FUNCTIONS(F) \
    F(file_initialize, libcreg_file_initialize) \
    F(file_open, libcreg_file_open) \
    F(file_free, libcreg_file_free) \
    F(file_get_root_key, libcreg_file_get_root_key) \
    F(key_free, libcreg_key_free) \
    F(key_get_number_of_sub_keys, libcreg_key_get_number_of_sub_keys) \
    F(key_get_sub_key_by_index, libcreg_key_get_sub_key_by_index) \
    F(key_get_name_size, libcreg_key_get_name_size) \
    F(key_get_name, libcreg_key_get_name) \
    F(key_get_number_of_values, libcreg_key_get_number_of_values) \
    F(key_get_value_by_index, libcreg_key_get_value_by_index) \
    F(value_free, libcreg_value_free) \
    F(value_get_name_size, libcreg_value_get_name_size) \
    F(value_get_name, libcreg_value_get_name) \
    F(value_get_value_type, libcreg_value_get_value_type) \
    F(value_get_value_data_size, libcreg_value_get_value_data_size) \
    F(value_get_value_data, libcreg_value_get_value_data)
struct CregFunctions {
    CREG_FUNCTIONS(DECLARE_READER_FUNCTION)
};

#define HIVEX_FUNCTIONS(F) \
    F(open, hivex_open) \
    F(close, hivex_close) \
    F(root, hivex_root) \
    F(node_children, hivex_node_children) \
    F(node_name, hivex_node_name) \
    F(node_name_len, hivex_node_name_len) \
    F(node_values, hivex_node_values) \
    F(node_timestamp, hivex_node_timestamp) \
    F(value_key, hivex_value_key) \
    F(value_value, hivex_value_value)
struct HivexFunctions {
    HIVEX_FUNCTIONS(DECLARE_READER_FUNCTION)
};

// Loaded on first use and kept; null with `problem` set where the library
// or one of its functions is missing.
const CregFunctions *CregLibrary(std::string &problem);
const HivexFunctions *HivexLibrary(std::string &problem);
