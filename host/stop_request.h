// Stopping a run from outside: Ctrl-C at the terminal (Wine turns SIGINT
// into CTRL_C_EVENT; scripts/wine-run turns SIGTERM and SIGHUP into SIGINT),
// Ctrl-Break or the console closing. Once a frame run listens, a stop
// request no longer ends the process on the spot: the run ends after the
// frame under way, so every output holds whole frames, and says why.
#pragma once

void ListenForStopRequests();

// What asked the run to stop ("Ctrl-C"), or nullptr while nothing did.
const char* StopRequest();
