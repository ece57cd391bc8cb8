// What the demo sees of an X display, as a person would: where the pointer is, where a window
// lies, whether something appeared in a part of the screen, and a screenshot.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace calibdemo {

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// A top-level window: all of it, and the client area inside its caption and frame.
struct Frame {
    Rect outer;
    Rect inside;
};

class XScreen {
  public:
    // Null with *error set when the display cannot be opened.
    static std::unique_ptr<XScreen> Open(const std::string& display, std::string* error);
    ~XScreen();
    XScreen(const XScreen&) = delete;
    XScreen& operator=(const XScreen&) = delete;

    int WidthPx() const { return width_; }
    int HeightPx() const { return height_; }
    // The pointer's pixel, in screen coordinates.
    std::optional<std::pair<int, int>> Pointer() const;
    // The inside of the viewable top-level window with this title, in screen coordinates.
    std::optional<Rect> FindWindow(const std::string& title) const;
    std::optional<Frame> FindFrame(const std::string& title) const;
    // A viewable top-level window covers the whole screen (the calibration dialog).
    bool FullScreenWindowShown() const;
    // The shell's task bar shows: a viewable top-level strip along the whole bottom edge.
    bool TaskBarShown() const;
    // The pixels of a part of the screen (0xRRGGBB), row by row.
    std::vector<std::uint32_t> Grab(const Rect& area) const;
    // Saves the whole screen as PNG (through ImageMagick's import); false on failure.
    bool Screenshot(const std::string& pngPath) const;

  private:
    struct Connection;
    XScreen(std::unique_ptr<Connection> connection, std::string name);

    std::unique_ptr<Connection> connection_;
    std::string name_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace calibdemo
