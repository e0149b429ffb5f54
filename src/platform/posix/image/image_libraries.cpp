#include "platform/posix/image/image_libraries.h"

#include <algorithm>

#include "platform/posix/base/library_loading.h"

namespace {

// The sonames the build was made against (Debian's libtsk19 and libqcow1).
const char TskSoname[] = "libtsk.so.19";
const char QcowSoname[] = "libqcow.so.1";

TskFunctions Tsk;
QcowFunctions Qcow;
bool TskLoaded = false;
bool QcowLoaded = false;

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
               BindReaderFunction(library, "libqcow_file_read_buffer_at_offset", Qcow.file_read_buffer_at_offset);
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
