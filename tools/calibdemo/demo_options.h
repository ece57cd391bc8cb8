// calibdemo's command line.
#pragma once

#include <span>
#include <string>

#include "cectl/cli_parse.h"

namespace calibdemo {

struct DemoOptions {
    std::string display = ":0";
    std::string socketPath;  // empty: the default socket
    std::string outDir = "calibration-demo";
    std::string tspanel;  // the control panel program
    std::string generations = "camera,coordinate";
    unsigned touches = 100;  // random touches before and after
    unsigned seed = 1;
    double aimErrorMm = 0.5;  // how far off the finger may touch what it aims at
};

struct DemoCommandLine {
    using Outcome = ots::control::ParseOutcome;
    Outcome outcome = Outcome::Usage;
    DemoOptions options;
    std::string message;
};

DemoCommandLine ParseDemoCommandLine(std::span<const std::string> args);

}  // namespace calibdemo
