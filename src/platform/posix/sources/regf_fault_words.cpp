#include "platform/posix/sources/regf_fault_words.h"

#include <cstdio>

#include "platform/posix/sources/regf/regf_base_block.h"

namespace {

// What each kind says, before and after where it lies; in the enum's order.
struct Words {
    RegfFaultKind kind;
    const char *before;
    const char *after;
};

const Words kWords[] = {
    {RegfFaultKind::None, "no fault", ""},
    {RegfFaultKind::ReadFailed, "the hive cannot be read at", ""},
    {RegfFaultKind::NotAHive, "not a registry hive", ""},
    {RegfFaultKind::BinsSizeInvalid, "its base block gives a hive bins size that is not whole hive bins", ""},
    {RegfFaultKind::OffsetPastBins, "an offset,", ", past the hive bins its base block declares"},
    {RegfFaultKind::OffsetMisaligned, "an offset,", ", that is not on a cell boundary"},
    {RegfFaultKind::NoHiveBin, "no sound hive bin holds the cell at", ""},
    {RegfFaultKind::CellSizeInvalid, "the cell at", " gives an impossible size"},
    {RegfFaultKind::CellFree, "the cell at", " is free, where a record was expected"},
    {RegfFaultKind::CellPastBin, "the cell at", " runs past its hive bin"},
    {RegfFaultKind::RecordPastCell, "the record at", " runs past its cell"},
    {RegfFaultKind::NotKeyNode, "the cell at", " is not a key (nk)"},
    {RegfFaultKind::NotSubkeyList, "the cell at", " is not a subkey list (li, lf, lh or ri)"},
    {RegfFaultKind::IndexRootNested, "the index root at", " lists another index root"},
    {RegfFaultKind::NotValueKey, "the cell at", " is not a value (vk)"},
    {RegfFaultKind::NotBigData, "the cell at", " is not big data (db)"},
    {RegfFaultKind::CountPastCell, "the list at", " counts more elements than its cell holds"},
    {RegfFaultKind::NamePastCell, "the name at", " runs past its cell"},
    {RegfFaultKind::ClassPastCell, "the class name at", " runs past its cell"},
    {RegfFaultKind::DataPastCell, "the value data at", " runs past its cell"},
    {RegfFaultKind::InlineDataTooLong, "the value at", " keeps more than 4 bytes of data in itself"},
    {RegfFaultKind::BigDataSegments, "the big data at", " has more or fewer segments than its data needs"},
    {RegfFaultKind::SubkeyCountMismatch, "the key at", " counts other subkeys than its lists hold"},
    {RegfFaultKind::KeyTreeTooDeep, "the key at", " lies deeper than Windows allows"},
    {RegfFaultKind::KeyLoop, "the key at", " is listed below itself"},
    {RegfFaultKind::WalkLimit, "more keys than a walk reads, at", ""},
};

} // namespace

std::string RegfFaultWords(const RegfFault &fault)
{
    for (const Words &words : kWords) {
        if (words.kind != fault.kind)
            continue;
        if (fault.kind == RegfFaultKind::None || fault.kind == RegfFaultKind::NotAHive ||
            fault.kind == RegfFaultKind::BinsSizeInvalid)
            return words.before;
        char where[96];
        std::snprintf(where, sizeof where, " hive bin offset 0x%lx (file offset 0x%llx)",
                      static_cast<unsigned long>(fault.offset),
                      static_cast<unsigned long long>(fault.offset) + kRegfBaseBlockSize);
        return std::string(words.before) + where + words.after;
    }
    return RegfFaultName(fault.kind);
}
