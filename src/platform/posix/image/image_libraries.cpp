#include "platform/posix/image/image_libraries.h"

#include <algorithm>

#include "platform/posix/library_loading.h"

namespace {

// The sonames the build was made against (Debian's libtsk19, libqcow1,
// libvhdi1 and libvmdk1).
const char TskSoname[] = "libtsk.so.19";
const char QcowSoname[] = "libqcow.so.1";
const char VhdiSoname[] = "libvhdi.so.1";
const char VmdkSoname[] = "libvmdk.so.1";

TskFunctions Tsk;
QcowFunctions Qcow;
VhdiFunctions Vhdi;
VmdkFunctions Vmdk;
bool TskLoaded = false;
bool QcowLoaded = false;
bool VhdiLoaded = false;
bool VmdkLoaded = false;

} // namespace

const TskFunctions *TskLibrary(std::string &problem)
{
    return LoadReaderLibrary(TskSoname, Tsk, TskLoaded, problem, [](void *library) {
        return BindReaderFunction(library, "tsk_img_open_utf8", Tsk.img_open_utf8) &&
               BindReaderFunction(library, "tsk_img_open_external", Tsk.img_open_external) &&
               BindReaderFunction(library, "tsk_img_read", Tsk.img_read) &&
               BindReaderFunction(library, "tsk_vs_open", Tsk.vs_open) &&
               BindReaderFunction(library, "tsk_vs_part_get", Tsk.vs_part_get) &&
               BindReaderFunction(library, "tsk_fs_open_img", Tsk.fs_open_img) &&
               BindReaderFunction(library, "tsk_fs_open_vol", Tsk.fs_open_vol) &&
               BindReaderFunction(library, "tsk_fs_dir_open_meta", Tsk.fs_dir_open_meta) &&
               BindReaderFunction(library, "tsk_fs_dir_getsize", Tsk.fs_dir_getsize) &&
               BindReaderFunction(library, "tsk_fs_dir_get", Tsk.fs_dir_get) &&
               BindReaderFunction(library, "tsk_fs_dir_close", Tsk.fs_dir_close) &&
               BindReaderFunction(library, "tsk_fs_file_open_meta", Tsk.fs_file_open_meta) &&
               BindReaderFunction(library, "tsk_fs_file_read", Tsk.fs_file_read) &&
               BindReaderFunction(library, "tsk_fs_file_close", Tsk.fs_file_close) &&
               BindReaderFunction(library, "tsk_error_get", Tsk.error_get) &&
               BindReaderFunction(library, "tsk_error_reset", Tsk.error_reset);
    });
}

const QcowFunctions *QcowLibrary(std::string &problem)
{
    return LoadReaderLibrary(QcowSoname, Qcow, QcowLoaded, problem, [](void *library) {
        return BindReaderFunction(library, "libqcow_file_initialize", Qcow.file_initialize) &&
               BindReaderFunction(library, "libqcow_file_open", Qcow.file_open) &&
               BindReaderFunction(library, "libqcow_file_get_media_size", Qcow.file_get_media_size) &&
               BindReaderFunction(library, "libqcow_file_read_buffer_at_offset", Qcow.file_read_buffer_at_offset) &&
               BindReaderFunction(library, "libqcow_file_set_parent_file", Qcow.file_set_parent_file);
    });
}

const VhdiFunctions *VhdiLibrary(std::string &problem)
{
    return LoadReaderLibrary(VhdiSoname, Vhdi, VhdiLoaded, problem, [](void *library) {
        return BindReaderFunction(library, "libvhdi_file_initialize", Vhdi.file_initialize) &&
               BindReaderFunction(library, "libvhdi_file_open", Vhdi.file_open) &&
               BindReaderFunction(library, "libvhdi_file_get_disk_type", Vhdi.file_get_disk_type) &&
               BindReaderFunction(library, "libvhdi_file_get_media_size", Vhdi.file_get_media_size) &&
               BindReaderFunction(library, "libvhdi_file_set_parent_file", Vhdi.file_set_parent_file) &&
               BindReaderFunction(library, "libvhdi_file_read_buffer_at_offset", Vhdi.file_read_buffer_at_offset);
    });
}

const VmdkFunctions *VmdkLibrary(std::string &problem)
{
    return LoadReaderLibrary(VmdkSoname, Vmdk, VmdkLoaded, problem, [](void *library) {
        return BindReaderFunction(library, "libvmdk_handle_initialize", Vmdk.handle_initialize) &&
               BindReaderFunction(library, "libvmdk_handle_open", Vmdk.handle_open) &&
               BindReaderFunction(library, "libvmdk_handle_open_extent_data_files",
                                  Vmdk.handle_open_extent_data_files) &&
               BindReaderFunction(library, "libvmdk_handle_get_media_size", Vmdk.handle_get_media_size) &&
               BindReaderFunction(library, "libvmdk_handle_get_content_identifier",
                                  Vmdk.handle_get_content_identifier) &&
               BindReaderFunction(library, "libvmdk_handle_get_parent_content_identifier",
                                  Vmdk.handle_get_parent_content_identifier) &&
               BindReaderFunction(library, "libvmdk_handle_get_utf8_parent_filename_size",
                                  Vmdk.handle_get_utf8_parent_filename_size) &&
               BindReaderFunction(library, "libvmdk_handle_get_utf8_parent_filename",
                                  Vmdk.handle_get_utf8_parent_filename) &&
               BindReaderFunction(library, "libvmdk_handle_set_parent_handle", Vmdk.handle_set_parent_handle) &&
               BindReaderFunction(library, "libvmdk_handle_read_buffer_at_offset", Vmdk.handle_read_buffer_at_offset);
    });
}

std::string TakeTskError(const TskFunctions *tsk)
{
    const char *why = tsk->error_get();
    std::string text = why != nullptr ? why : "";
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    tsk->error_reset();
    return text;
}
