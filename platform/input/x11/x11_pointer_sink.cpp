// The X11 sink: mouse_event onto a real pointer through XTest.
#include "ce/host/x11_pointer_sink.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cstdint>

#include "ce/host/input_sink.h"
#include "ce/input.h"

namespace ce::host {
namespace {

constexpr std::int64_t kAbsoluteRange = 65536;
constexpr unsigned kLeftButton = 1;

// A relative move carries a signed pixel delta in the DWORD.
int RelativeDelta(DWORD value) {
    return static_cast<std::int32_t>(value);
}

}  // namespace

struct X11PointerSink::Connection {
    Display* display = nullptr;
    int screen = 0;
    ~Connection() {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }
};

int AbsoluteToPixel(DWORD absolute, int extentPx) {
    const std::int64_t px = static_cast<std::int64_t>(absolute) * extentPx / kAbsoluteRange;
    return static_cast<int>(std::clamp<std::int64_t>(px, 0, std::max(extentPx - 1, 0)));
}

std::unique_ptr<X11PointerSink> X11PointerSink::Open(const std::string& display,
                                                     std::string* error) {
    XInitThreads();
    auto connection = std::make_unique<Connection>();
    connection->display = XOpenDisplay(display.empty() ? nullptr : display.c_str());
    const std::string name = display.empty() ? "$DISPLAY" : display;
    if (connection->display == nullptr) {
        *error = "cannot open the X display " + name;
        return nullptr;
    }
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(connection->display, &eventBase, &errorBase, &major, &minor)) {
        *error = "the X display " + name + " has no XTest extension";
        return nullptr;
    }
    connection->screen = DefaultScreen(connection->display);
    const int width = DisplayWidth(connection->display, connection->screen);
    const int height = DisplayHeight(connection->display, connection->screen);
    return std::unique_ptr<X11PointerSink>(
        new X11PointerSink(std::move(connection), width, height));
}

X11PointerSink::X11PointerSink(std::unique_ptr<Connection> connection, int widthPx, int heightPx)
    : connection_(std::move(connection)), widthPx_(widthPx), heightPx_(heightPx) {
    id_ =
        AddInputSink([this](const MouseEvent& event) { Inject(event.flags, event.dx, event.dy); });
}

X11PointerSink::~X11PointerSink() {
    RemoveInputSink(id_);
}

void X11PointerSink::Inject(DWORD flags, DWORD dx, DWORD dy) {
    std::lock_guard lock(mutex_);
    Display* display = connection_->display;
    // An absolute event names where it happens, a click included, so the pointer goes there
    // first; a relative one moves only when it says so.
    if ((flags & MOUSEEVENTF_ABSOLUTE) != 0) {
        XTestFakeMotionEvent(display, connection_->screen, AbsoluteToPixel(dx, widthPx_),
                             AbsoluteToPixel(dy, heightPx_), CurrentTime);
    } else if ((flags & MOUSEEVENTF_MOVE) != 0) {
        XTestFakeRelativeMotionEvent(display, RelativeDelta(dx), RelativeDelta(dy), CurrentTime);
    }
    if ((flags & MOUSEEVENTF_LEFTDOWN) != 0) {
        XTestFakeButtonEvent(display, kLeftButton, True, CurrentTime);
    }
    if ((flags & MOUSEEVENTF_LEFTUP) != 0) {
        XTestFakeButtonEvent(display, kLeftButton, False, CurrentTime);
    }
    XFlush(display);
}

}  // namespace ce::host
