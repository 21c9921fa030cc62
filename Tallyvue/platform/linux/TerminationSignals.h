// SPDX-License-Identifier: MIT
#pragma once

namespace tallyvue {

/// Ends the event loop on SIGTERM, SIGINT or SIGHUP (a session ending, Ctrl+C in a terminal), so
/// the program leaves through its usual path instead of dying wherever the signal found it.
/// Call once, after the application object exists.
void quitOnTerminationSignals();

} // namespace tallyvue
