#include "plots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ce/ui/host/picture.h"

namespace calibdemo {
namespace {

using ce::ui::host::Colour;
using ce::ui::host::Picture;
using ce::ui::host::PicturePoint;

constexpr Colour kInk{0x20, 0x20, 0x20};
constexpr Colour kFinger{0x1f, 0x77, 0xb4, 0x90};
constexpr Colour kPointer{0xd6, 0x27, 0x28};
constexpr Colour kTarget{0x2c, 0xa0, 0x2c};
constexpr Colour kPanel{0xff, 0xff, 0xff, 0xe8};
constexpr Colour kFaint{0xb0, 0xb0, 0xb0};
constexpr int kTitlePt = 11;
constexpr int kLabelPt = 9;
constexpr double kLongestArrowPx = 60.0;

PicturePoint At(Point p) {
    return {p.xPx, p.yPx};
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// A bar of a round number of millimetres, bottom left (clear of the corner target), with its
// length written under it.
void ScaleBar(Picture& picture, const ScreenSize& screen, double mm) {
    const double lengthPx = mm / screen.mmPerPx;
    const double x = 90.0;
    const double y = screen.heightPx - 26.0;
    picture.Rectangle({x - 6, y - 10}, lengthPx + 12, 30, kFaint, kPanel);
    picture.Polyline({{x, y - 5}, {x, y}, {x + lengthPx, y}, {x + lengthPx, y - 5}}, kInk, 1.5);
    picture.Text({x, y + 14}, Format("%.0f mm", mm), kInk, kLabelPt);
}

struct LegendEntry {
    std::string text;
    Colour colour;
    enum class Mark { Line, Arrow, Ring } mark;
    double widthPx;
};

// Top left, below the title and the top row of targets: a sample of each mark and what it
// stands for.
void Legend(Picture& picture, const std::vector<LegendEntry>& entries) {
    double widest = 0.0;
    for (const LegendEntry& e : entries) {
        widest = std::max(widest, picture.TextWidth(e.text, kLabelPt));
    }
    const double x = 16.0;
    const double top = 54.0;
    const double row = 18.0;
    picture.Rectangle({x - 6, top - 4}, widest + 52, row * static_cast<double>(entries.size()) + 8,
                      kFaint, kPanel);
    double y = top + row / 2.0;
    for (const LegendEntry& e : entries) {
        switch (e.mark) {
            case LegendEntry::Mark::Line:
                picture.Polyline({{x, y}, {x + 30, y}}, e.colour, e.widthPx);
                break;
            case LegendEntry::Mark::Arrow:
                picture.Arrow({x, y}, {x + 30, y}, e.colour, e.widthPx);
                break;
            case LegendEntry::Mark::Ring:
                picture.Circle({x + 15, y}, 5, e.colour, {0, 0, 0, 0}, e.widthPx);
                break;
        }
        picture.Text({x + 40, y + 4}, e.text, kInk, kLabelPt);
        y += row;
    }
}

bool Finish(Picture& picture, const std::string& title, const ScreenSize& screen,
            const std::string& pngPath) {
    picture.Text({16, 22}, title, kInk, kTitlePt, true);
    ScaleBar(picture, screen, 10.0);
    return picture.SavePng(pngPath);
}

}  // namespace

bool PlotPaths(const std::string& title, const std::vector<Point>& finger,
               const std::vector<Point>& pointer, const ScreenSize& screen,
               const std::string& pngPath) {
    if (pointer.size() < 2) {
        return false;
    }
    Picture picture(screen.widthPx, screen.heightPx);
    std::vector<PicturePoint> path;
    std::transform(finger.begin(), finger.end(), std::back_inserter(path), At);
    picture.Polyline(path, kFinger, 7.0);
    path.clear();
    std::transform(pointer.begin(), pointer.end(), std::back_inserter(path), At);
    picture.Polyline(path, kPointer, 1.2);
    Legend(picture, {{"finger (7 px wide)", kFinger, LegendEntry::Mark::Line, 7.0},
                     {"pointer: every injected move", kPointer, LegendEntry::Mark::Line, 1.2}});
    return Finish(picture, title, screen, pngPath);
}

bool PlotErrorMap(const std::string& title, const std::vector<TouchError>& touches,
                  const std::vector<Point>& targets, double magnification, const ScreenSize& screen,
                  const std::string& pngPath) {
    Picture picture(screen.widthPx, screen.heightPx);
    for (const Point& target : targets) {
        picture.Circle(At(target), 7, kTarget, {0, 0, 0, 0}, 1.5);
    }
    for (const TouchError& t : touches) {
        const PicturePoint tip{t.finger.xPx + magnification * (t.pointer.xPx - t.finger.xPx),
                               t.finger.yPx + magnification * (t.pointer.yPx - t.finger.yPx)};
        picture.Circle(At(t.finger), 1.5, kInk, kInk, 0.5);
        picture.Arrow(At(t.finger), tip, kPointer, 1.3);
    }
    const double oneMm = magnification / screen.mmPerPx;
    Legend(picture, {{"calibration target", kTarget, LegendEntry::Mark::Ring, 1.5},
                     {"finger to pointer, " + Format("%.0f", magnification) +
                          " times as long (30 px = " + Format("%.2f mm", 30.0 / oneMm) + ")",
                      kPointer, LegendEntry::Mark::Arrow, 1.3}});
    return Finish(picture, title, screen, pngPath);
}

double ArrowMagnification(const std::vector<TouchError>& touches) {
    double longest = 0.0;
    for (const TouchError& t : touches) {
        longest = std::max(longest,
                           std::hypot(t.pointer.xPx - t.finger.xPx, t.pointer.yPx - t.finger.yPx));
    }
    double factor = 1.0;
    for (int decade = 0; decade < 4; ++decade) {
        for (const double step : {1.0, 2.0, 5.0}) {
            const double candidate = step * std::pow(10.0, decade);
            if (longest * candidate > kLongestArrowPx) {
                return factor;
            }
            factor = candidate;
        }
    }
    return factor;
}

}  // namespace calibdemo
