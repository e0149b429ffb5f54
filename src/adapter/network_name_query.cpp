#include "adapter/network_name_query.h"

#include <cstdio>

#include "adapter/adapter_match.h"
#include "adapter/driver_release.h"
#include "cli/exit_codes.h"

namespace {

// The identifiers the adapter may carry, in the order they are tried.
const char *const CardIdentifiers[] = {
    "MORVAL_TECHNOLOGIES-TESSARO/IEEE-A7E2",
    "ZEMTA-TESSARO/IEEE-3F9B",
};

const char NoAdapterMarker[] = "XXXXXX";

} // namespace

int RunNetworkNameQuery()
{
    for (const char *cardId : CardIdentifiers) {
        if (FindAdapterNetworkName(cardId)) {
            std::printf("%s", NetworkName);
            return IsExpectedDriverRelease() ? ExitOk : ExitUnexpectedDriver;
        }
    }
    std::printf("%s", NoAdapterMarker);
    return ExitNoAdapter;
}
