// The fatal-error report: the process's unhandled-exception filter while the
// library is loaded.
#pragma once

namespace korrin {

void InstallFatalReport();  // load step: remembers the filter installed before
void RemoveFatalReport();   // unload step: puts that filter back

}  // namespace korrin
