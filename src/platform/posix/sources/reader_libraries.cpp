#include "platform/posix/sources/reader_libraries.h"

namespace {

// The sonames the build was made against (Debian's libcreg1 and libhivex0).
const char CregSoname[] = "libcreg.so.1";
const char HivexSoname[] = "libhivex.so.0";

CregFunctions Creg;
HivexFunctions Hivex;
bool CregLoaded = false;
bool HivexLoaded = false;

} // namespace

const CregFunctions *CregLibrary(std::string &problem)
{
    return LoadReaderLibrary(CregSoname, Creg, CregLoaded, problem, [](void *library) {
        return BindReaderFunction(library, "libcreg_file_initialize", Creg.file_initialize) &&
               BindReaderFunction(library, "libcreg_file_open", Creg.file_open) &&
               BindReaderFunction(library, "libcreg_file_free", Creg.file_free) &&
               BindReaderFunction(library, "libcreg_file_get_root_key", Creg.file_get_root_key) &&
               BindReaderFunction(library, "libcreg_key_free", Creg.key_free) &&
               BindReaderFunction(library, "libcreg_key_get_number_of_sub_keys", Creg.key_get_number_of_sub_keys) &&
               BindReaderFunction(library, "libcreg_key_get_sub_key_by_index", Creg.key_get_sub_key_by_index) &&
               BindReaderFunction(library, "libcreg_key_get_name_size", Creg.key_get_name_size) &&
               BindReaderFunction(library, "libcreg_key_get_name", Creg.key_get_name) &&
               BindReaderFunction(library, "libcreg_key_get_number_of_values", Creg.key_get_number_of_values) &&
               BindReaderFunction(library, "libcreg_key_get_value_by_index", Creg.key_get_value_by_index) &&
               BindReaderFunction(library, "libcreg_value_free", Creg.value_free) &&
               BindReaderFunction(library, "libcreg_value_get_name_size", Creg.value_get_name_size) &&
               BindReaderFunction(library, "libcreg_value_get_name", Creg.value_get_name) &&
               BindReaderFunction(library, "libcreg_value_get_value_type", Creg.value_get_value_type) &&
               BindReaderFunction(library, "libcreg_value_get_value_data_size", Creg.value_get_value_data_size) &&
               BindReaderFunction(library, "libcreg_value_get_value_data", Creg.value_get_value_data);
    });
}

const HivexFunctions *HivexLibrary(std::string &problem)
{
    return LoadReaderLibrary(HivexSoname, Hivex, HivexLoaded, problem, [](void *library) {
        return BindReaderFunction(library, "hivex_open", Hivex.open) &&
               BindReaderFunction(library, "hivex_close", Hivex.close) &&
               BindReaderFunction(library, "hivex_root", Hivex.root) &&
               BindReaderFunction(library, "hivex_node_children", Hivex.node_children) &&
               BindReaderFunction(library, "hivex_node_name", Hivex.node_name) &&
               BindReaderFunction(library, "hivex_node_values", Hivex.node_values) &&
               BindReaderFunction(library, "hivex_value_key", Hivex.value_key) &&
               BindReaderFunction(library, "hivex_value_value", Hivex.value_value);
    });
}
