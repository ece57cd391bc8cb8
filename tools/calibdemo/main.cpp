// calibdemo: a scripted finger calibrates simulated touch screens through the control panel on
// an X display, and measures the pointer against the finger. See `calibdemo --help`.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "demo_options.h"
#include "demo_run.h"

namespace {

using namespace calibdemo;

constexpr int kExitDone = 0;
constexpr int kExitUsage = 1;
constexpr int kExitFailed = 2;
constexpr double kMmPerPx = 211.0 / 800.0;  // both simulated screens: 800 x 600 px, 211 x 158 mm

std::vector<GenerationPlan> Plans(const std::string& list) {
    std::vector<GenerationPlan> plans;
    if (list.find("camera") != std::string::npos) {
        plans.push_back({"camera", ots::control::ControllerKind::Camera, "mounted", 25, kMmPerPx});
    }
    if (list.find("coordinate") != std::string::npos) {
        plans.push_back(
            {"coordinate", ots::control::ControllerKind::Coordinate, "shifted", 4, kMmPerPx});
    }
    return plans;
}

std::string Fixed(double value, int decimals = 3) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string ErrorJson(const ErrorStats& mm, double mmPerPx) {
    return "{\"median_mm\": " + Fixed(mm.median) + ", \"p95_mm\": " + Fixed(mm.p95) +
           ", \"max_mm\": " + Fixed(mm.max) + ", \"rms_mm\": " + Fixed(mm.rms) +
           ", \"median_px\": " + Fixed(mm.median / mmPerPx) +
           ", \"p95_px\": " + Fixed(mm.p95 / mmPerPx) + ", \"max_px\": " + Fixed(mm.max / mmPerPx) +
           ", \"touches\": " + std::to_string(mm.count) + "}";
}

std::string SummaryJson(const std::vector<GenerationResult>& results) {
    std::string json = "{";
    for (std::size_t i = 0; i < results.size(); ++i) {
        const GenerationResult& r = results[i];
        json += std::string(i == 0 ? "" : ",") + "\n  \"" + r.name +
                "\": {\"points\": " + std::to_string(r.points) +
                ",\n    \"before\": " + ErrorJson(r.beforeMm, r.mmPerPx) +
                ",\n    \"after\": " + ErrorJson(r.afterMm, r.mmPerPx) +
                ",\n    \"residual_mm\": " + Fixed(r.residualMm) +
                ",\n    \"lag_ms\": {\"median\": " + Fixed(r.lagMs.median, 1) +
                ", \"p95\": " + Fixed(r.lagMs.p95, 1) +
                ", \"samples\": " + std::to_string(r.lagMs.count) +
                ", \"designed\": " + Fixed(r.designedLagMs, 1) +
                ", \"frame_period\": " + Fixed(r.framePeriodMs) + "}}";
    }
    return json + "\n}\n";
}

void PrintTable(const std::vector<GenerationResult>& results) {
    std::printf("\n%-11s %-7s %23s %23s %23s\n", "screen", "", "median", "95th percentile", "max");
    for (const GenerationResult& r : results) {
        for (const auto& [when, mm] : {std::pair{"before", r.beforeMm}, {"after", r.afterMm}}) {
            auto cell = [&](double v) {
                return Fixed(v / r.mmPerPx, 2) + " px " + Fixed(v, 2) + " mm";
            };
            std::printf("%-11s %-7s %23s %23s %23s\n",
                        (r.name + " " + std::to_string(r.points)).c_str(), when,
                        cell(mm.median).c_str(), cell(mm.p95).c_str(), cell(mm.max).c_str());
        }
        std::printf(
            "%-11s after: RMS %.2f mm over %zu touches; residual at the targets %.2f mm "
            "RMS; lag while drawing %.1f ms median, %.1f ms p95 (designed %.1f ms at a frame "
            "every %.1f ms)\n",
            r.name.c_str(), r.afterMm.rms, r.afterMm.count, r.residualMm, r.lagMs.median,
            r.lagMs.p95, r.designedLagMs, r.framePeriodMs);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const DemoCommandLine line = ParseDemoCommandLine(args);
    if (line.outcome != DemoCommandLine::Outcome::Run) {
        (line.outcome == DemoCommandLine::Outcome::Help ? std::cout : std::cerr) << line.message;
        return line.outcome == DemoCommandLine::Outcome::Help ? kExitDone : kExitUsage;
    }
    const DemoOptions& options = line.options;
    mkdir(options.outDir.c_str(), 0755);
    std::string error;
    const std::unique_ptr<XScreen> screen = XScreen::Open(options.display, &error);
    if (!screen) {
        std::cerr << "calibdemo: " << error << "\n";
        return kExitFailed;
    }
    std::vector<GenerationResult> results;
    for (const GenerationPlan& plan : Plans(options.generations)) {
        GenerationResult result;
        if (!RunGeneration(plan, options, *screen, &result, &error)) {
            std::cerr << "calibdemo: " << error << "\n";
            return kExitFailed;
        }
        results.push_back(result);
    }
    PrintTable(results);
    const std::string summary = options.outDir + "/summary.json";
    std::ofstream(summary) << SummaryJson(results);
    std::printf("\nfigures in %s; screenshots, the paths' plots and the error maps in %s\n",
                summary.c_str(), options.outDir.c_str());
    return kExitDone;
}
