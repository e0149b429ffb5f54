// A volume's shadow copies (Volume Shadow Copy stores): each an earlier
// state of the whole volume, read as the current volume with the store's
// old blocks, and those of every later store, laid over it. A store's
// difference area may lie on another volume of the same machine.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/posix/base/fault.h"
#include "platform/posix/base/guid_text.h"
#include "platform/posix/base/lower_volume.h"

const int ShadowAreaHere = -1;

struct ShadowStore {
    unsigned char identifier[GuidSize]; // the store's own, in its catalog entries and file name
    unsigned char copy[GuidSize];       // the shadow copy's
    std::uint64_t creationTime;         // FILETIME, UTC
    std::uint64_t size;                 // bytes: the volume as it was
    int area; // ShadowAreaHere, or the index in `others` of the volume holding the difference area
    void *store; // ReadShadowStore's, until it is closed
};

// The stores of `volume`, oldest first; none for a volume without shadow
// copies. `others` are the machine's other volumes, looked through for the
// difference area where it lies elsewhere. Every store's maps are built
// here: false with one line in `fault` naming the store (or the catalog)
// where any is damaged, or its difference area's volume is not among `others`.
// The volumes must outlive the stores.
bool ListShadowStores(const LowerVolume &volume, const std::vector<LowerVolume> &others,
                      std::vector<ShadowStore> &stores, Fault &fault);

// A DiskRead (as callback_image.h has it) of one store's volume.
ssize_t ReadShadowStore(void *store, std::uint64_t offset, char *buffer, std::size_t size);

// A DiskClose of one store: what its volume's stores share goes with the
// last of them. A store handed to an image that closes it is then taken
// out of the list (its `store` set to null).
void CloseShadowStore(void *store);

// Closes every store of the list still open; `stores` is emptied.
void CloseShadowStores(std::vector<ShadowStore> &stores);
