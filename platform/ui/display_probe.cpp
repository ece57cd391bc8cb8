// Whether this process can show windows: a program that opens windows nobody can see would run
// on unseen, holding what it holds (its one-copy lock).
#include "ce/ui/host/ui_host.h"

#include <cstdlib>
#include <string>
#include <string_view>

// After the platform's headers: Xlib defines macros (Bool, Status, None) they must not see.
#include <X11/Xlib.h>

namespace ce::ui::host {

std::string DisplayProblem() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0' &&
        !std::string_view(platform).starts_with("xcb")) {
        return {};  // chosen on purpose (offscreen in tests)
    }
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        return "no display (DISPLAY is not set)";
    }
    Display* display = XOpenDisplay(name);
    if (display == nullptr) {
        return std::string("cannot open display ") + name;
    }
    XCloseDisplay(display);
    return {};
}

}  // namespace ce::ui::host
