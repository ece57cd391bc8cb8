#include "demo_options.h"

#include <limits>

namespace calibdemo {
namespace {

using namespace ots::control;

const char* const kAbout =
    "A scripted finger calibrates a simulated touch screen through the control panel, on an X\n"
    "display whose pointer the device host (cehost --sink x11) moves. For each generation it\n"
    "plugs a visibly mis-mounted panel, measures the pointer against the finger over random\n"
    "touches, taps Calibrate, touches the targets where they appear, taps OK, draws a figure,\n"
    "and measures again. Figures go to stdout and DIR/summary.json; screenshots and a plot of\n"
    "the pointer's path against the finger's to DIR.\n";

}  // namespace

DemoCommandLine ParseDemoCommandLine(std::span<const std::string> args) {
    DemoCommandLine line;
    DemoOptions& o = line.options;
    CLI::App app(kAbout, "calibdemo");
    app.footer("Exit codes: 0 done, 1 usage, 2 a step failed (the message says which).");
    app.add_option("--tspanel", o.tspanel, "the control panel program to start")
        ->type_name("PATH")
        ->required()
        ->check(NotEmpty());
    app.add_option("--display", o.display, "the X display")->type_name(":N")->capture_default_str();
    app.add_option("--socket", o.socketPath, "the host's socket (default: the host's default)")
        ->type_name("PATH");
    app.add_option("--out", o.outDir, "where figures and pictures go")
        ->type_name("DIR")
        ->capture_default_str();
    app.add_option("--generations", o.generations, "camera, coordinate or both, comma-separated")
        ->type_name("LIST")
        ->capture_default_str();
    const CLI::Validator count = WholeNumber(1, std::numeric_limits<unsigned>::max());
    app.add_option("--touches", o.touches, "random touches before and after calibration")
        ->check(count)
        ->capture_default_str();
    app.add_option("--seed", o.seed, "the random touches' seed")
        ->check(count)
        ->capture_default_str();
    app.add_option("--aim-error", o.aimErrorMm, "how far off the finger may touch what it aims at")
        ->type_name("MM")
        ->check(NumberFrom(0))
        ->capture_default_str();
    Parsed parsed = ParseWith(app, args);
    line.outcome = parsed.outcome;
    line.message = std::move(parsed.message);
    return line;
}

}  // namespace calibdemo
