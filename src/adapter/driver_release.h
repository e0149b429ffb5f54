#pragma once

// Tells whether the driver configured at AdapterKeyPath is the release this
// tool belongs to. Call only after FindAdapterNetworkName gave 1.
int IsExpectedDriverRelease();
