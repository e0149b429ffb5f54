#include "platform/posix/image/image_libraries.h"

#include <algorithm>

#include "platform/posix/base/text_trim.h"
#include "platform/posix/image/ldm_functions.h"

namespace {

// The sonames the build was made against (Debian's libtsk19, libqcow1,
// libvhdi1, libvmdk1, libewf2 and libldm-1.0-0).
const char TskSoname[] = "libtsk.so.19";
const char QcowSoname[] = "libqcow.so.1";
const char VhdiSoname[] = "libvhdi.so.1";
const char VmdkSoname[] = "libvmdk.so.1";
const char EwfSoname[] = "libewf.so.2";
const char LdmSoname[] = "libldm-1.0.so.0";

TskFunctions Tsk;
QcowFunctions Qcow;
VhdiFunctions Vhdi;
VmdkFunctions Vmdk;
EwfFunctions Ewf;
LdmFunctions Ldm;
bool TskLoaded = false;
bool QcowLoaded = false;
bool VhdiLoaded = false;
bool VmdkLoaded = false;
bool EwfLoaded = false;
bool LdmLoaded = false;

} // namespace

const TskFunctions *TskLibrary(Fault &fault)
{
    return LoadReaderLibrary(TskSoname, Tsk, TskLoaded, fault,
                             [](void *library, auto &functions) { return TSK_FUNCTIONS(BIND_READER_FUNCTION) true; });
}

const QcowFunctions *QcowLibrary(Fault &fault)
{
    return LoadReaderLibrary(QcowSoname, Qcow, QcowLoaded, fault,
                             [](void *library, auto &functions) { return QCOW_FUNCTIONS(BIND_READER_FUNCTION) true; });
}

const VhdiFunctions *VhdiLibrary(Fault &fault)
{
    if (TskLibrary(fault) == nullptr)
        return nullptr;
    return LoadReaderLibrary(VhdiSoname, Vhdi, VhdiLoaded, fault,
                             [](void *library, auto &functions) { return VHDI_FUNCTIONS(BIND_READER_FUNCTION) true; });
}

const VmdkFunctions *VmdkLibrary(Fault &fault)
{
    if (TskLibrary(fault) == nullptr)
        return nullptr;
    return LoadReaderLibrary(VmdkSoname, Vmdk, VmdkLoaded, fault,
                             [](void *library, auto &functions) { return VMDK_FUNCTIONS(BIND_READER_FUNCTION) true; });
}

const EwfFunctions *EwfLibrary(Fault &fault)
{
    if (TskLibrary(fault) == nullptr)
        return nullptr;
    return LoadReaderLibrary(EwfSoname, Ewf, EwfLoaded, fault,
                             [](void *library, auto &functions) { return EWF_FUNCTIONS(BIND_READER_FUNCTION) true; });
}

const LdmFunctions *LdmLibrary(Fault &fault)
{
    return LoadReaderLibrary(LdmSoname, Ldm, LdmLoaded, fault,
                             [](void *library, auto &functions) { return LDM_FUNCTIONS(BIND_READER_FUNCTION) true; });
}

bool LoadImageLibraries(Fault &fault)
{
    return TskLibrary(fault) != nullptr && QcowLibrary(fault) != nullptr && VhdiLibrary(fault) != nullptr &&
           VmdkLibrary(fault) != nullptr && EwfLibrary(fault) != nullptr;
}

bool LoadDynamicDiskLibrary(Fault &fault)
{
    return LdmLibrary(fault) != nullptr;
}

std::string TakeTskError(const TskFunctions *tsk)
{
    const char *why = tsk->error_get();
    std::string text(TrimTrailing(why != nullptr ? why : "", [](char c) { return c == ' ' || c == '\n'; }));
    std::replace(text.begin(), text.end(), '\n', ' ');
    tsk->error_reset();
    return text;
}
