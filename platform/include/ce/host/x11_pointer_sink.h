// A sink that moves the real pointer of an X display: mouse_event's absolute 0..65535 range is
// spread over the display's pixels, and the left button goes down and up with the event's
// flags, through the XTest extension. Lives in its own library (ce_x11), so that only a host
// that wants a real pointer links X.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "ce/types.h"

namespace ce::host {

// Pixel on a display of `extentPx` pixels for an absolute coordinate 0..65535 (65536, which
// the coordinate generation sends for its full scale, lands on the last pixel too).
int AbsoluteToPixel(DWORD absolute, int extentPx);

class X11PointerSink {
  public:
    // Opens the display (empty: $DISPLAY) and installs the sink; null with *error set when the
    // display cannot be opened or has no XTest extension.
    static std::unique_ptr<X11PointerSink> Open(const std::string& display, std::string* error);
    ~X11PointerSink();
    X11PointerSink(const X11PointerSink&) = delete;
    X11PointerSink& operator=(const X11PointerSink&) = delete;

    int WidthPx() const { return widthPx_; }
    int HeightPx() const { return heightPx_; }

  private:
    struct Connection;
    X11PointerSink(std::unique_ptr<Connection> connection, int widthPx, int heightPx);
    void Inject(DWORD flags, DWORD dx, DWORD dy);

    std::unique_ptr<Connection> connection_;
    std::mutex mutex_;  // Xlib calls come from every injecting thread
    int widthPx_;
    int heightPx_;
    int id_ = 0;
};

}  // namespace ce::host
