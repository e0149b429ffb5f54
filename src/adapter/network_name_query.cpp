#include "adapter/network_name_query.h"

#include <cstring>

#include "adapter/adapter_match.h"
#include "adapter/driver_release.h"
#include "common/exit_codes.h"
#include "platform/console_output.h"

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
            WriteStdout(NetworkName, std::strlen(NetworkName));
            return IsExpectedDriverRelease() ? ExitOk : ExitUnexpectedDriver;
        }
    }
    WriteStdout(NoAdapterMarker, sizeof NoAdapterMarker - 1);
    return ExitNoAdapter;
}
