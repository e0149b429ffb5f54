#pragma once

// The "H" command: prints the configured network name and answers whether
// the driver is the expected release.
int RunNetworkNameQuery();
