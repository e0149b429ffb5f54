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

struct CregFunctions {
    decltype(&libcreg_file_initialize) file_initialize;
    decltype(&libcreg_file_open) file_open;
    decltype(&libcreg_file_free) file_free;
    decltype(&libcreg_file_get_root_key) file_get_root_key;
    decltype(&libcreg_key_free) key_free;
    decltype(&libcreg_key_get_number_of_sub_keys) key_get_number_of_sub_keys;
    decltype(&libcreg_key_get_sub_key_by_index) key_get_sub_key_by_index;
    decltype(&libcreg_key_get_name_size) key_get_name_size;
    decltype(&libcreg_key_get_name) key_get_name;
    decltype(&libcreg_key_get_number_of_values) key_get_number_of_values;
    decltype(&libcreg_key_get_value_by_index) key_get_value_by_index;
    decltype(&libcreg_value_free) value_free;
    decltype(&libcreg_value_get_name_size) value_get_name_size;
    decltype(&libcreg_value_get_name) value_get_name;
    decltype(&libcreg_value_get_value_type) value_get_value_type;
    decltype(&libcreg_value_get_value_data_size) value_get_value_data_size;
    decltype(&libcreg_value_get_value_data) value_get_value_data;
};

struct HivexFunctions {
    decltype(&hivex_open) open;
    decltype(&hivex_close) close;
    decltype(&hivex_root) root;
    decltype(&hivex_node_children) node_children;
    decltype(&hivex_node_name) node_name;
    decltype(&hivex_node_values) node_values;
    decltype(&hivex_value_key) value_key;
    decltype(&hivex_value_value) value_value;
};

// Loaded on first use and kept; null with `problem` set where the library
// or one of its functions is missing.
const CregFunctions *CregLibrary(std::string &problem);
const HivexFunctions *HivexLibrary(std::string &problem);
