// The header of each metadata copy ("FVE metadata block"), 64 bytes: its
// size, the volume's conversion state, how much of it is encrypted, and
// where the copies and the relocated boot sectors are.
#pragma once

#include <cstddef>
#include <cstdint>

const std::size_t FveBlockHeaderSize = 64;
const std::size_t FveBlockSizeAt = 8;         // u16: bytes (version 1) or 16-byte units (version 2)
const std::size_t FveBlockVersionAt = 10;     // u16: 1 Vista, 2 Windows 7 and later
const std::size_t FveBlockStateAt = 12;       // u16
const std::size_t FveBlockNextStateAt = 14;   // u16
const std::size_t FveBlockEncryptedSizeAt = 16; // u64: bytes from the start that are encrypted
const std::size_t FveBlockHeaderSectorsAt = 28; // u32: the relocated boot sectors
const std::size_t FveBlockCopiesAt = 32;      // three u64 offsets
const std::size_t FveBlockHeaderAt = 56;      // u64: the relocated boot sectors' offset;
                                              // Vista: the MFT mirror's cluster
const std::uint16_t FveBlockVersionVista = 1;
const std::uint16_t FveBlockVersionSeven = 2;
const unsigned FveBlockSizeShift = 4;         // version 2's size unit

// Conversion states as Windows writes them.
const std::uint16_t FveStateDecrypted = 1;
const std::uint16_t FveStateSwitching = 2;
const std::uint16_t FveStateEncrypted = 4;
const std::uint16_t FveStatePaused = 5;

// Each copy sits in an area of its own that the file system sees as a file
// of zeros: 64 KiB from Windows 7 on, 16 KiB on Vista (in whole clusters).
const std::uint32_t FveCopyArea = 0x10000;
const std::uint32_t FveVistaCopyArea = 0x4000;
