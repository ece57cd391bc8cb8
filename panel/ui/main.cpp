// tspanel: the touch-screen control panel.
#include <cstdio>
#include <cstring>

#include "ce/ui/app.h"
#include "ui/close_on_signal.h"

namespace {

constexpr const char* kUsage =
    "Usage: tspanel [--help]\n"
    "The touch-screen control panel: calibrates the touch screen, edits the driver's settings\n"
    "and shows its versions. Its windows open on the X display named by DISPLAY; the driver is\n"
    "a running cehost's, reached through $OTS_DEVMGR_SOCKET (else\n"
    "$XDG_RUNTIME_DIR/ots/devmgr.sock). One copy runs at a time: starting another brings the\n"
    "running copy's open window to the front.\n"
    "Exit status: 0 when the panel ends, 1 without a display, 2 for a wrong argument.\n";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "tspanel: unknown argument '%s'\n%s", argv[i], kUsage);
        return 2;
    }
    CloseOnSignal();
    return AfxWinMain(argc, argv);
}
