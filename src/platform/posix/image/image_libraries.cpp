#include "platform/posix/image/image_libraries.h"

#include <algorithm>

#include "platform/posix/base/text_trim.h"

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
    return LoadReaderLibrary(TskSoname, Tsk, TskLoaded, problem,
                             [](void *library, auto &functions) { return TSK_FUNCTIONS(BIND_READER_FUNCTION) true; });
}

const QcowFunctions *QcowLibrary(std::string &problem)
{
    return LoadReaderLibrary(QcowSoname, Qcow, QcowLoaded, problem,
                             [](void *library, auto &functions) { return QCOW_FUNCTIONS(BIND_READER_FUNCTION) true; });
}

std::string TakeTskError(const TskFunctions *tsk)
{
    const char *why = tsk->error_get();
    std::string text(TrimTrailing(why != nullptr ? why : "", [](char c) { return c == ' ' || c == '\n'; }));
    std::replace(text.begin(), text.end(), '\n', ' ');
    tsk->error_reset();
    return text;
}
