#include "platform/posix/sources/reader_libraries.h"

#include <dlfcn.h>

namespace {

// The sonames the build was made against (Debian's libcreg1 and libhivex0).
const char CregSoname[] = "libcreg.so.1";
const char HivexSoname[] = "libhivex.so.0";

CregFunctions Creg;
HivexFunctions Hivex;
bool CregLoaded = false;
bool HivexLoaded = false;

template <typename Function>
bool Bind(void *library, const char *name, Function &function)
{
    void *symbol = dlsym(library, name);
    function = reinterpret_cast<Function>(symbol);
    return symbol != nullptr;
}

void *Open(const char *soname, std::string &problem)
{
    void *library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *why = dlerror();
        problem = std::string("cannot load ") + soname + " (" + (why != nullptr ? why : "not found") + ")";
    }
    return library;
}

} // namespace

const CregFunctions *CregLibrary(std::string &problem)
{
    if (CregLoaded)
        return &Creg;
    void *library = Open(CregSoname, problem);
    if (library == nullptr)
        return nullptr;
    CregLoaded = Bind(library, "libcreg_file_initialize", Creg.file_initialize) &&
                 Bind(library, "libcreg_file_open", Creg.file_open) &&
                 Bind(library, "libcreg_file_free", Creg.file_free) &&
                 Bind(library, "libcreg_file_get_root_key", Creg.file_get_root_key) &&
                 Bind(library, "libcreg_key_free", Creg.key_free) &&
                 Bind(library, "libcreg_key_get_number_of_sub_keys", Creg.key_get_number_of_sub_keys) &&
                 Bind(library, "libcreg_key_get_sub_key_by_index", Creg.key_get_sub_key_by_index) &&
                 Bind(library, "libcreg_key_get_name_size", Creg.key_get_name_size) &&
                 Bind(library, "libcreg_key_get_name", Creg.key_get_name) &&
                 Bind(library, "libcreg_key_get_number_of_values", Creg.key_get_number_of_values) &&
                 Bind(library, "libcreg_key_get_value_by_index", Creg.key_get_value_by_index) &&
                 Bind(library, "libcreg_value_free", Creg.value_free) &&
                 Bind(library, "libcreg_value_get_name_size", Creg.value_get_name_size) &&
                 Bind(library, "libcreg_value_get_name", Creg.value_get_name) &&
                 Bind(library, "libcreg_value_get_value_type", Creg.value_get_value_type) &&
                 Bind(library, "libcreg_value_get_value_data_size", Creg.value_get_value_data_size) &&
                 Bind(library, "libcreg_value_get_value_data", Creg.value_get_value_data);
    if (!CregLoaded) {
        problem = std::string(CregSoname) + " lacks a function this program uses";
        return nullptr;
    }
    return &Creg;
}

const HivexFunctions *HivexLibrary(std::string &problem)
{
    if (HivexLoaded)
        return &Hivex;
    void *library = Open(HivexSoname, problem);
    if (library == nullptr)
        return nullptr;
    HivexLoaded = Bind(library, "hivex_open", Hivex.open) && Bind(library, "hivex_close", Hivex.close) &&
                  Bind(library, "hivex_root", Hivex.root) && Bind(library, "hivex_node_children", Hivex.node_children) &&
                  Bind(library, "hivex_node_name", Hivex.node_name) &&
                  Bind(library, "hivex_node_values", Hivex.node_values) &&
                  Bind(library, "hivex_value_key", Hivex.value_key) &&
                  Bind(library, "hivex_value_value", Hivex.value_value);
    if (!HivexLoaded) {
        problem = std::string(HivexSoname) + " lacks a function this program uses";
        return nullptr;
    }
    return &Hivex;
}
