// What the statically linked C++ runtime would leave behind each time a host
// frees the driver. A host that loads it per shift or per operation must be
// able to do so without end.
#pragma once

namespace korvan {

// Gives back what the runtime keeps for the life of the module. Called when
// the host frees the driver, after the last operation.
void ReleaseRuntimeAtUnload();

}  // namespace korvan
