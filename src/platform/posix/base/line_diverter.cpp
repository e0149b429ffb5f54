#include "platform/posix/base/line_diverter.h"

namespace {

LineDiverter Diverter = nullptr;

} // namespace

void DivertLines(LineDiverter diverter)
{
    Diverter = diverter;
}

LineDiverter DivertedLines()
{
    return Diverter;
}
