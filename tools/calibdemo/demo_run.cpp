#include "demo_run.h"

#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <thread>

#include "figure.h"
#include "panel_process.h"

namespace calibdemo {
namespace {

using ots::control::Point;

constexpr unsigned kTapHoldMs = 80;
constexpr int kTargetBox = 26;  // half the box that holds a drawn target
constexpr int kLogicalFull = 32768;
constexpr int kTargetInset = 2048;
constexpr int kTargetSpan = 28672;
constexpr const char* kMainTitle = "TouchScreen Control Panel";
constexpr const char* kSettingsTitle = "Settings";
constexpr const char* kAboutTitle = "About";
constexpr unsigned kEventRing = 16384;  // what the host keeps; a drawn star stays below it

void Progress(const std::string& generation, const std::string& text) {
    std::printf("[%s] %s\n", generation.c_str(), text.c_str());
    std::fflush(stdout);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Something is drawn in the box: enough pixels differ from its corner, which lies outside
// every target and control drawn in it.
bool SomethingDrawn(const XScreen& screen, const Rect& box) {
    const std::vector<std::uint32_t> pixels = screen.Grab(box);
    if (pixels.empty()) {
        return false;
    }
    int differing = 0;
    for (const std::uint32_t pixel : pixels) {
        differing += pixel != pixels.front() ? 1 : 0;
    }
    return differing > 40;
}

Rect BoxAround(Point centre, int half) {
    return Rect{static_cast<int>(centre.xPx) - half, static_cast<int>(centre.yPx) - half,
                2 * half + 1, 2 * half + 1};
}

// Where the calibration dialog draws its targets on a screen of this size, in target order.
std::vector<Point> TargetCentres(int points, int widthPx, int heightPx) {
    const int n = static_cast<int>(std::sqrt(points - 1)) + 1;
    const int step = kTargetSpan / (n - 1);
    std::vector<Point> centres;
    for (int row = 0; row < n; ++row) {
        for (int col = 0; col < n; ++col) {
            const double gx = kTargetInset + col * step;
            const double gy = kTargetInset + row * step;
            centres.push_back({std::trunc(gx * widthPx / kLogicalFull),
                               std::trunc(gy * heightPx / kLogicalFull)});
        }
    }
    return centres;
}

class Run {
  public:
    Run(const GenerationPlan& plan, const DemoOptions& options, XScreen& screen,
        GenerationResult* result)
        : plan_(plan),
          options_(options),
          screen_(screen),
          result_(result),
          finger_(options.socketPath),
          random_(options.seed) {}

    bool Go(std::string* error) {
        result_->name = plan_.name;
        result_->points = plan_.points;
        result_->mmPerPx = plan_.mmPerPx;
        const bool done =
            Prepare() && Measure(&result_->beforeMm, &result_->beforeTouches, "before") &&
            Calibrate() && Measure(&result_->afterMm, &result_->afterTouches, "after") &&
            Residual() && DrawFigure();
        finger_.Unplug();
        if (!done) {
            *error = plan_.name + ": " + error_;
        }
        return done;
    }

  private:
    bool Fail(const std::string& what) {
        error_ = what;
        return false;
    }
    bool FingerFailed(const std::string& what) { return Fail(what + ": " + finger_.error()); }
    std::string Out(const std::string& file) const {
        return options_.outDir + "/" + plan_.name + "-" + file;
    }

    bool Prepare() {
        Progress(plan_.name, "plugging the " + plan_.panel + " panel (" +
                                 std::to_string(plan_.points) + "-point calibration)");
        if (!finger_.SetCalibrationPoints(plan_.points)) {
            return FingerFailed("cannot choose the number of targets");
        }
        if (!finger_.Plug(plan_.kind, plan_.panel)) {
            return FingerFailed("cannot plug the panel");
        }
        return true;
    }

    // A person touching a point: aimed well, off by up to the aim error.
    Point Aim(Point at) {
        std::uniform_real_distribution<double> angle(0.0, 2.0 * M_PI);
        std::uniform_real_distribution<double> radius(0.0, options_.aimErrorMm / plan_.mmPerPx);
        const double a = angle(random_);
        const double r = radius(random_);
        return {at.xPx + r * std::cos(a), at.yPx + r * std::sin(a)};
    }

    // Where the pointer landed for a tap: the centre of the pixel it stands on, which is what
    // a person sees.
    std::optional<Point> TapPointer(Point finger) {
        if (!finger_.Tap(finger.xPx, finger.yPx, kTapHoldMs)) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const auto pointer = screen_.Pointer();
        if (!pointer) {
            return std::nullopt;
        }
        return Point{pointer->first + 0.5, pointer->second + 0.5};
    }

    // The pointer's distance from the finger for a tap (px); negative when it cannot be read.
    double TapError(Point finger) {
        const std::optional<Point> pointer = TapPointer(finger);
        return pointer ? std::hypot(pointer->xPx - finger.xPx, pointer->yPx - finger.yPx) : -1.0;
    }

    bool Measure(ErrorStats* stats, std::vector<TouchError>* touches, const std::string& when) {
        Progress(plan_.name,
                 std::to_string(options_.touches) + " random touches " + when + " calibration");
        // Inside the targets' frame, which is the area a calibration vouches for.
        std::uniform_real_distribution<double> x(screen_.WidthPx() / 16.0,
                                                 screen_.WidthPx() * 15.0 / 16.0);
        std::uniform_real_distribution<double> y(screen_.HeightPx() / 16.0,
                                                 screen_.HeightPx() * 15.0 / 16.0);
        std::vector<double> errorsMm;
        for (unsigned i = 0; i < options_.touches; ++i) {
            const Point finger{x(random_), y(random_)};
            const std::optional<Point> pointer = TapPointer(finger);
            if (!pointer) {
                return FingerFailed("a touch failed");
            }
            touches->push_back({finger, *pointer});
            errorsMm.push_back(std::hypot(pointer->xPx - finger.xPx, pointer->yPx - finger.yPx) *
                               plan_.mmPerPx);
        }
        *stats = Summarise(errorsMm);
        return PlotErrors(*stats, *touches, when);
    }

    bool PlotErrors(const ErrorStats& mm, const std::vector<TouchError>& touches,
                    const std::string& when) {
        const double magnification = ArrowMagnification(touches);
        char title[160];
        std::snprintf(title, sizeof title,
                      "%s screen, %d points, %s calibration: %zu touches, error median %.2f mm, "
                      "max %.2f mm",
                      plan_.name.c_str(), plan_.points, when.c_str(), mm.count, mm.median, mm.max);
        if (!PlotErrorMap(title, touches,
                          TargetCentres(plan_.points, screen_.WidthPx(), screen_.HeightPx()),
                          magnification, Screen(), Out("errors-" + when + ".png"))) {
            Progress(plan_.name, "(the error map could not be written)");
        }
        return true;
    }

    ScreenSize Screen() const { return {screen_.WidthPx(), screen_.HeightPx(), plan_.mmPerPx}; }

    bool Residual() {
        std::vector<double> errorsMm;
        for (const Point target :
             TargetCentres(plan_.points, screen_.WidthPx(), screen_.HeightPx())) {
            const double px = TapError(target);
            if (px < 0.0) {
                return FingerFailed("a touch on a target failed");
            }
            errorsMm.push_back(px * plan_.mmPerPx);
        }
        result_->residualMm = Summarise(errorsMm).rms;
        return true;
    }

    bool Calibrate();
    bool TouchTargets();
    bool VisitSettings(const Rect& main);
    bool VisitAbout(const Rect& main);
    bool TapCaptionButton(const std::string& title, bool closeBox);
    bool CloseWithCaptionOk(PanelProcess& panel);
    bool DrawFigure();

    const GenerationPlan& plan_;
    const DemoOptions& options_;
    XScreen& screen_;
    GenerationResult* result_;
    Finger finger_;
    std::mt19937 random_;
    std::string error_;
};

// The main dialog's buttons, from its template (201 x 207 dialog units): Calibrate at
// (12, 164) and Settings at (58, 164), each 40 x 30. Their centres scale with the client area.
Point ButtonCentre(const Rect& main, double leftDu, double topDu) {
    constexpr double kTemplateWidthDu = 201.0;
    constexpr double kTemplateHeightDu = 207.0;
    return {main.x + (leftDu + 20.0) * main.width / kTemplateWidthDu,
            main.y + (topDu + 15.0) * main.height / kTemplateHeightDu};
}

bool Run::Calibrate() {
    Progress(plan_.name, "starting the control panel");
    PanelProcess panel(options_.tspanel, options_.display);
    if (!panel.Started()) {
        return Fail("cannot start " + options_.tspanel);
    }
    std::optional<Rect> main;
    if (!WaitUntil([&] { return (main = screen_.FindWindow(kMainTitle)).has_value(); }, 15000)) {
        return Fail("the control panel's window did not appear");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // let it paint
    screen_.Screenshot(Out("main-dialog.png"));
    Progress(plan_.name, "tapping Calibrate");
    const Point calibrate = ButtonCentre(*main, 12.0, 164.0);
    if (!finger_.Tap(calibrate.xPx, calibrate.yPx, kTapHoldMs)) {
        return FingerFailed("cannot tap Calibrate");
    }
    if (!WaitUntil([&] { return screen_.FullScreenWindowShown(); }, 10000)) {
        screen_.Screenshot(Out("no-calibration.png"));
        return Fail("the calibration dialog did not appear");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (!TouchTargets()) {
        return false;
    }
    // The verification view: OK at (W/2 - 100, H/3 + 50), 80 x 40.
    const Point ok{screen_.WidthPx() / 2 - 60.0, screen_.HeightPx() / 3 + 70.0};
    if (!WaitUntil([&] { return SomethingDrawn(screen_, BoxAround(ok, 30)); }, 10000)) {
        return Fail("the verification view did not appear");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    screen_.Screenshot(Out("verification.png"));
    Progress(plan_.name, "tapping OK");
    const Point aimed = Aim(ok);
    if (!finger_.Tap(aimed.xPx, aimed.yPx, kTapHoldMs)) {
        return FingerFailed("cannot tap OK");
    }
    // The task bar comes back as the last step of OK, after the calibration was saved.
    if (!WaitUntil([&] { return screen_.TaskBarShown(); }, 15000)) {
        return Fail("the calibration dialog did not close");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Now that the pointer is where the finger is, the settings and the about box are one tap
    // away, and the caption's OK button ends the panel.
    return VisitSettings(*main) && VisitAbout(*main) && CloseWithCaptionOk(panel);
}

bool Run::TouchTargets() {
    const std::vector<Point> targets =
        TargetCentres(plan_.points, screen_.WidthPx(), screen_.HeightPx());
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const Rect box = BoxAround(targets[i], kTargetBox);
        if (!WaitUntil([&] { return SomethingDrawn(screen_, box); }, 10000)) {
            return Fail("target " + std::to_string(i + 1) + " did not appear");
        }
        if (i == 0) {
            screen_.Screenshot(Out("target.png"));
        }
        Progress(plan_.name, "touching target " + std::to_string(i + 1) + " of " +
                                 std::to_string(targets.size()));
        const Point aimed = Aim(targets[i]);
        if (!finger_.Tap(aimed.xPx, aimed.yPx, kTapHoldMs)) {
            return FingerFailed("cannot touch target " + std::to_string(i + 1));
        }
        if (!WaitUntil([&] { return !SomethingDrawn(screen_, box); }, 10000)) {
            return Fail("target " + std::to_string(i + 1) + " was not taken");
        }
    }
    return true;
}

bool Run::VisitSettings(const Rect& main) {
    Progress(plan_.name, "looking at the settings");
    const Point settings = ButtonCentre(main, 58.0, 164.0);
    if (!finger_.Tap(settings.xPx, settings.yPx, kTapHoldMs)) {
        return FingerFailed("cannot tap Settings");
    }
    std::optional<Rect> dialog;
    if (!WaitUntil([&] { return (dialog = screen_.FindWindow(kSettingsTitle)).has_value(); },
                   10000)) {
        return Fail("the settings dialog did not appear");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    screen_.Screenshot(Out("settings-dialog.png"));
    // Cancel at (109, 186), 40 x 17 of the 201 x 206 dialog units of the settings template.
    const Point cancel{dialog->x + 129.0 * dialog->width / 201.0,
                       dialog->y + 194.5 * dialog->height / 206.0};
    if (!finger_.Tap(cancel.xPx, cancel.yPx, kTapHoldMs)) {
        return FingerFailed("cannot tap Cancel");
    }
    if (!WaitUntil([&] { return !screen_.FindWindow(kSettingsTitle).has_value(); }, 10000)) {
        return Fail("the settings dialog did not close");
    }
    return true;
}

bool Run::VisitAbout(const Rect& main) {
    Progress(plan_.name, "opening About, closing it with its close box");
    const Point about = ButtonCentre(main, 151.0, 164.0);
    if (!finger_.Tap(about.xPx, about.yPx, kTapHoldMs)) {
        return FingerFailed("cannot tap About");
    }
    if (!WaitUntil([&] { return screen_.FindFrame(kAboutTitle).has_value(); }, 10000)) {
        return Fail("the about dialog did not appear");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    if (!TapCaptionButton(kAboutTitle, true)) {
        return false;
    }
    if (!WaitUntil([&] { return !screen_.FindFrame(kAboutTitle).has_value(); }, 10000)) {
        return Fail("the about dialog did not close with its close box");
    }
    return true;
}

// The caption bar lies between the window's top frame and its client area; its buttons sit at
// its right end, the close box rightmost as a square, the OK button to its left.
bool Run::TapCaptionButton(const std::string& title, bool closeBox) {
    const std::optional<Frame> frame = screen_.FindFrame(title);
    if (!frame) {
        return Fail("no window \"" + title + "\"");
    }
    const int border = frame->inside.x - frame->outer.x;
    const int caption = frame->inside.y - frame->outer.y - border;
    if (caption <= 0) {
        return Fail("the window \"" + title + "\" has no caption");
    }
    const double right = frame->outer.x + frame->outer.width - border;
    const double x = closeBox ? right - caption / 2.0 : right - caption - caption * 0.6;
    const Point aimed = Aim({x, frame->outer.y + border + caption / 2.0});
    if (!finger_.Tap(aimed.xPx, aimed.yPx, kTapHoldMs)) {
        return FingerFailed(std::string("cannot tap the caption's ") +
                            (closeBox ? "close box" : "OK button"));
    }
    return true;
}

bool Run::CloseWithCaptionOk(PanelProcess& panel) {
    Progress(plan_.name, "closing the control panel with its caption's OK button");
    if (!TapCaptionButton(kMainTitle, false)) {
        return false;
    }
    if (!panel.Ended(10000)) {
        return Fail("the control panel did not end on its caption's OK button");
    }
    return true;
}

bool Run::DrawFigure() {
    Progress(plan_.name, "drawing a figure");
    const std::vector<Point> figure = StarFigure(screen_.WidthPx(), screen_.HeightPx());
    constexpr unsigned kDrawMs = 2000;
    StrokeClock clock;
    if (!finger_.Draw(figure, kDrawMs, &clock)) {
        return FingerFailed("cannot draw");
    }
    std::vector<InjectedEvent> events;
    std::vector<Point> pointer;
    for (const InjectedEvent& event : finger_.LastEvents(kEventRing)) {
        if (event.tMs >= clock.downMs) {
            events.push_back(event);
            pointer.push_back({event.xPx, event.yPx});
        }
    }
    result_->lagMs = Summarise(PointerLagMs(figure, kDrawMs, clock.downMs, events));
    result_->framePeriodMs = clock.framePeriodMs;
    result_->designedLagMs = DesignedLagMs(plan_.kind, clock.framePeriodMs);
    char title[160];
    std::snprintf(title, sizeof title,
                  "%s screen: a star drawn in %.1f s; pointer lag median %.1f ms (designed "
                  "%.1f ms)",
                  plan_.name.c_str(), kDrawMs / 1000.0, result_->lagMs.median,
                  result_->designedLagMs);
    if (!PlotPaths(title, figure, pointer, Screen(), Out("paths.png"))) {
        Progress(plan_.name, "(the paths' plot could not be written)");
    }
    return true;
}

}  // namespace

bool RunGeneration(const GenerationPlan& plan, const DemoOptions& options, XScreen& screen,
                   GenerationResult* result, std::string* error) {
    return Run(plan, options, screen, result).Go(error);
}

}  // namespace calibdemo
