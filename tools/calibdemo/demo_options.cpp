#include "demo_options.h"

#include <charconv>
#include <map>

namespace calibdemo {
namespace {

const char* const kUsage =
    "usage: calibdemo --tspanel PATH [options]\n"
    "\n"
    "A scripted finger calibrates a simulated touch screen through the control panel, on an X\n"
    "display whose pointer the device host (cehost --sink x11) moves. For each generation it\n"
    "plugs a visibly mis-mounted panel, measures the pointer against the finger over random\n"
    "touches, taps Calibrate, touches the targets where they appear, taps OK, draws a figure,\n"
    "and measures again. Figures go to stdout and DIR/summary.json; screenshots and a plot of\n"
    "the pointer's path against the finger's to DIR.\n"
    "\n"
    "  --tspanel PATH      the control panel program to start\n"
    "  --display :N        the X display (default :0)\n"
    "  --socket PATH       the host's socket (default: the host's default)\n"
    "  --out DIR           where figures and pictures go (default calibration-demo)\n"
    "  --generations LIST  camera, coordinate or both, comma-separated (default both)\n"
    "  --touches N         random touches before and after calibration (default 100)\n"
    "  --seed N            the random touches' seed (default 1)\n"
    "  --aim-error MM      how far off the finger may touch what it aims at (default 0.5)\n"
    "  --help              this text\n"
    "\n"
    "Exit codes: 0 done, 1 usage, 2 a step failed (the message says which).\n";

DemoCommandLine Usage(const std::string& message) {
    return {DemoCommandLine::Outcome::Usage, {}, "calibdemo: " + message + " (see --help)\n"};
}

bool ParseCount(const std::string& text, unsigned& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

}  // namespace

DemoCommandLine ParseDemoCommandLine(std::span<const std::string> args) {
    DemoCommandLine line;
    DemoOptions& options = line.options;
    const std::map<std::string, std::string*> texts = {{"--display", &options.display},
                                                       {"--socket", &options.socketPath},
                                                       {"--out", &options.outDir},
                                                       {"--tspanel", &options.tspanel},
                                                       {"--generations", &options.generations}};
    const std::map<std::string, unsigned*> counts = {{"--touches", &options.touches},
                                                     {"--seed", &options.seed}};
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            return {DemoCommandLine::Outcome::Help, {}, kUsage};
        }
        if (arg == "--aim-error" && i + 1 < args.size()) {
            const std::string& value = args[++i];
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), options.aimErrorMm);
            if (value.empty() || error != std::errc() || end != value.data() + value.size() ||
                options.aimErrorMm < 0.0) {
                return Usage("--aim-error takes millimetres, not \"" + value + "\"");
            }
            continue;
        }
        if (texts.count(arg) == 0 && counts.count(arg) == 0) {
            return Usage("unknown argument " + arg);
        }
        if (i + 1 == args.size() || args[i + 1].empty()) {
            return Usage(arg + " needs a value");
        }
        const std::string& value = args[++i];
        if (const auto text = texts.find(arg); text != texts.end()) {
            *text->second = value;
        } else if (!ParseCount(value, *counts.at(arg)) || *counts.at(arg) == 0) {
            return Usage(arg + " takes a whole number above 0, not \"" + value + "\"");
        }
    }
    if (options.tspanel.empty()) {
        return Usage("--tspanel is needed");
    }
    line.outcome = DemoCommandLine::Outcome::Run;
    return line;
}

}  // namespace calibdemo
