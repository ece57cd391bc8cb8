// cectl: the device host's command-line client.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "ce/host/registry_store.h"
#include "ce/host/stream_wire.h"
#include "cectl/command_line.h"
#include "cectl/control_request.h"
#include "cectl/host_call.h"
#include "cectl/stroke.h"

namespace {

namespace wire = ce::host::wire;
using namespace ots::control;

constexpr int kExitDone = 0;
constexpr int kExitUsage = 1;
constexpr int kExitNoHost = 2;
constexpr int kExitRefused = 3;

int Fail(int code, const std::string& message) {
    std::cerr << "cectl: " << message << "\n";
    return code;
}

// Reads the file the command names into the command; an error message when it cannot.
std::string LoadNamedFile(CommandLine& line) {
    std::ifstream file(line.fileToRead, std::ios::binary);
    std::ostringstream text;
    if (!file || !(text << file.rdbuf())) {
        return "cannot read " + line.fileToRead + ": " + std::strerror(errno);
    }
    if (line.command.verb == Verb::Draw) {
        PathText path = ParsePathText(text.str(), line.fileToRead);
        line.command.points = std::move(path.points);
        return path.error;
    }
    line.command.text = text.str();
    return {};
}

// A device image's registry file is resolved here, where its #include files are: the host
// gets regedit text of what it changes. One line says what was skipped.
std::string ResolveRegImport(CommandLine& line) {
    ce::host::RegTextOptions options;
    options.defines = line.defines;
    options.note = [](const std::string& note) { std::cerr << "cectl: " << note << "\n"; };
    std::string regedit;
    if (const auto error =
            ce::host::ResolveRegText(line.command.text, line.fileToRead, options, regedit)) {
        return error->ToString();
    }
    line.command.text = std::move(regedit);
    return {};
}

void Print(std::FILE* out, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    CommandLine line = ParseCommandLine(args);
    if (line.outcome == CommandLine::Outcome::Help) {
        Print(stdout, line.message);
        return kExitDone;
    }
    if (line.outcome == CommandLine::Outcome::Usage) {
        Print(stderr, line.message);
        return kExitUsage;
    }
    if (!line.fileToRead.empty()) {
        if (const std::string error = LoadNamedFile(line); !error.empty()) {
            return Fail(kExitUsage, error);
        }
    }
    if (line.command.verb == Verb::RegImport) {
        if (const std::string error = ResolveRegImport(line); !error.empty()) {
            return Fail(kExitRefused, error);
        }
    }
    const std::vector<std::uint8_t> request = EncodeCommand(line.command);
    if (request.size() > wire::kMaxControlPayload) {
        return Fail(kExitUsage, "the request is larger than the host takes (" +
                                    std::to_string(wire::kMaxControlPayload) + " bytes)");
    }
    const HostAnswer answer = CallHost(line.command, line.socketPath,
                                       [](const std::string& text) { Print(stdout, text); });
    switch (answer.outcome) {
        case HostAnswer::Outcome::Done:
            Print(stdout, answer.text);
            return kExitDone;
        case HostAnswer::Outcome::Refused:
            return Fail(kExitRefused, answer.text);
        case HostAnswer::Outcome::NoHost:
            break;
    }
    return Fail(kExitNoHost, answer.text);
}
