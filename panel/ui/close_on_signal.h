// A panel told to stop (SIGTERM, SIGINT, SIGHUP: a session that ends, a kill) closes as if its
// main dialog were closed, so that a running calibration gives the driver back the user's own
// settings and shows the task bar again. A program not ended 3 s later (a message box holds
// it), a second signal, or a signal before the main dialog is up ends it at once.
#pragma once

// Call first in main, before any thread starts.
void CloseOnSignal();
