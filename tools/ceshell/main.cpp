// ceshell: the shell of the stand-in on a display: shows the task bar ("HHTaskBar") along the
// bottom of the screen until SIGINT or SIGTERM, so that programs can find, hide and show it.
#include <cstdio>
#include <cstring>

#include "ce/ui/host/ui_host.h"

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf(
            "usage: ceshell\n"
            "Shows the shell's task bar (window class HHTaskBar) on the display until stopped\n"
            "with SIGINT or SIGTERM. QT_QPA_PLATFORM chooses the platform (xcb on a display,\n"
            "offscreen without one); OTS_WINDOW_DIR the folder windows are published in.\n");
        return 0;
    }
    return ce::ui::host::RunShell(argc, argv);
}
