// The reader of Windows 95/98/Me registry files, loaded when such a drive is
// first read rather than by every start: 'V' and a run over HKLM.reg then
// load nothing but the C library.
#pragma once

#include <string>

#include "platform/posix/base/library_loading.h"

// After the Win32 header: libcreg.h wants libbfio.h, which Debian's
// libcreg-dev does not bring, unless WINAPI is defined.
#include "platform/posix/base/win32_api.h"

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

// Loaded on first use and kept; null with `fault` set where the library
// or one of its functions is missing.
const CregFunctions *CregLibrary(Fault &fault);

// libmspack reads the cabinets ScanReg kept of a 95/98/Me registry; it too is
// loaded only when one is asked for. Its decompressor's own calls come as
// pointers in the object it makes.
#include <mspack.h>

#define MSPACK_FUNCTIONS(F) \
    F(selftest, mspack_sys_selftest_internal) \
    F(create_cab_decompressor, mspack_create_cab_decompressor) \
    F(destroy_cab_decompressor, mspack_destroy_cab_decompressor)
struct MspackFunctions {
    MSPACK_FUNCTIONS(DECLARE_READER_FUNCTION)
};

const MspackFunctions *MspackLibrary(Fault &fault);
