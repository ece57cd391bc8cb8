#include "finger.h"

#include <cstdio>
#include <sstream>

#include "cectl/host_call.h"

namespace calibdemo {

using ots::control::Command;
using ots::control::Verb;

namespace {

Command Make(Verb verb, std::uint32_t id = 0) {
    Command command;
    command.verb = verb;
    command.id = id;
    return command;
}

}  // namespace

std::optional<std::string> Finger::Call(const Command& command) {
    const ots::control::HostAnswer answer =
        ots::control::CallHost(command, socket_, [](const std::string&) {});
    if (answer.outcome != ots::control::HostAnswer::Outcome::Done) {
        error_ = answer.text;
        return std::nullopt;
    }
    return answer.text;
}

bool Finger::Plug(ots::control::ControllerKind kind, const std::string& panel) {
    Command command = Make(Verb::Plug, id_);
    command.kind = kind;
    command.panel = panel;
    return Call(command).has_value();
}

bool Finger::Unplug() {
    return Call(Make(Verb::Unplug, id_)).has_value();
}

bool Finger::SetCalibrationPoints(int points) {
    Command command = Make(Verb::RegImport);
    command.text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\OtsUSB_Class\\DriverConfig]\r\n"
        "\"CalibrateType\"=dword:0000000" +
        std::string(points == 4 ? "0" : "1") + "\r\n";
    command.fileName = "calibdemo";
    return Call(command).has_value();
}

bool Finger::Tap(double xPx, double yPx, unsigned holdMs) {
    Command command = Make(Verb::Tap, id_);
    command.durationMs = holdMs;
    command.points = {{xPx, yPx}};
    return Call(command).has_value();
}

bool Finger::Draw(const std::vector<ots::control::Point>& points, unsigned moveMs,
                  StrokeClock* clock) {
    Command command = Make(Verb::Draw, id_);
    command.durationMs = moveMs;
    command.points = points;
    const std::optional<std::string> reply = Call(command);
    if (!reply) {
        return false;
    }
    const std::size_t at = reply->find("finger down at t_ms ");
    if (at == std::string::npos ||
        std::sscanf(reply->c_str() + at, "finger down at t_ms %lf, a frame every %lf ms",
                    &clock->downMs, &clock->framePeriodMs) != 2) {
        error_ = "the host did not say when the finger came down";
        return false;
    }
    return true;
}

std::vector<InjectedEvent> Finger::LastEvents(unsigned count) {
    std::vector<InjectedEvent> events;
    const std::optional<std::string> reply = Call([count] {
        Command command = Make(Verb::Events);
        command.count = count;
        return command;
    }());
    if (!reply) {
        return events;
    }
    std::istringstream lines(*reply);
    std::string line;
    while (std::getline(lines, line)) {
        InjectedEvent event;
        unsigned long seq = 0;
        if (std::sscanf(line.c_str(),
                        "{\"seq\":%lu,\"t_ms\":%lf,\"flags\":\"0x%x\",\"dx\":%*u,\"dy\":%*u,"
                        "\"x_px\":%lf,\"y_px\":%lf",
                        &seq, &event.tMs, &event.flags, &event.xPx, &event.yPx) == 5) {
            events.push_back(event);
        }
    }
    return events;
}

}  // namespace calibdemo
