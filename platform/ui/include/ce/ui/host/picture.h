// Pictures a tool draws and saves as PNG files (the demo's plots): white, antialiased, in
// pixels with y downwards, text in Liberation Sans. Needs no display: without an interface in
// the process, the first picture starts one on Qt's offscreen platform.
//
//   ce::ui::host::Picture picture(800, 600);
//   picture.Polyline({{10, 10}, {200, 80}}, {0x1f, 0x77, 0xb4}, 3.0);
//   picture.Text({10, 590}, "10 mm", {0, 0, 0}, 10);
//   picture.SavePng("plot.png");
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ce::ui::host {

struct PicturePoint {
    double x = 0.0;
    double y = 0.0;
};

struct Colour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;
};

class Picture {
  public:
    Picture(int widthPx, int heightPx);
    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    void Polyline(const std::vector<PicturePoint>& points, Colour colour, double widthPx);
    // A line with a filled head at `to`; the head shrinks with a short shaft.
    void Arrow(PicturePoint from, PicturePoint to, Colour colour, double widthPx);
    void Circle(PicturePoint centre, double radiusPx, Colour outline, Colour fill, double widthPx);
    void Rectangle(PicturePoint topLeft, double widthPx, double heightPx, Colour outline,
                   Colour fill);
    // Left end of the text's baseline at `at`; bold for titles.
    void Text(PicturePoint at, const std::string& text, Colour colour, int pointSize,
              bool bold = false);
    // The width the text takes, in pixels.
    double TextWidth(const std::string& text, int pointSize, bool bold = false) const;

    // False when the file could not be written.
    bool SavePng(const std::string& path) const;

  private:
    struct Canvas;
    std::unique_ptr<Canvas> canvas_;
};

}  // namespace ce::ui::host
