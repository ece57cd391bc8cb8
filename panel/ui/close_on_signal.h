// A panel told to stop (SIGTERM, SIGINT, SIGHUP: a session that ends, a kill) closes as if its
// main dialog were closed, so that a running calibration gives the driver back the user's own
// settings and shows the task bar again. A second signal, or one before the main dialog is up,
// ends the program at once.
#pragma once

// Call first in main, before any thread starts.
void CloseOnSignal();
