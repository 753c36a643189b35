// The register of live TkelShellActions and their refresh when the event loop goes idle.
#pragma once

namespace vt {

class TkelShellAction;

void RegisterShellAction(TkelShellAction* action);
void UnregisterShellAction(TkelShellAction* action);

}  // namespace vt
