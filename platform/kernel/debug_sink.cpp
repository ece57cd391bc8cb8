// The debug sinks, the log file and DebugCapture.
#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "debug_lines.h"

namespace ce::host {
namespace {

struct DebugSinks {
    // Recursive: a sink may itself print, or add and remove sinks.
    std::recursive_mutex mutex;
    int nextId = 1;
    std::vector<std::pair<int, std::shared_ptr<const DebugSink>>> sinks;
    std::FILE* logFile = nullptr;
};

// Never destroyed: threads that outlive main may still print.
DebugSinks& Sinks() {
    static auto* sinks = new DebugSinks;
    return *sinks;
}

std::FILE* ConsoleFor(DebugChannel channel) {
    return channel == DebugChannel::Kernel ? stderr : stdout;
}

void WriteLine(std::FILE* file, std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), file);
    std::fputc('\n', file);
    std::fflush(file);
}

// Hands one line to every sink. The line's string is kept per thread and reused, so that
// printing allocates nothing once a thread's longest line has been seen; a sink that prints
// again gets a string of its own.
void DeliverToSinks(DebugSinks& state, DebugChannel channel, std::string_view line) {
    thread_local std::string reused;
    thread_local int depth = 0;
    std::string nested;
    std::string& text = depth == 0 ? reused : nested;
    text.assign(line);
    ++depth;
    for (std::size_t i = 0; i < state.sinks.size(); ++i) {
        const std::shared_ptr<const DebugSink> sink = state.sinks[i].second;
        (*sink)(channel, text);
    }
    --depth;
}

}  // namespace

int AddDebugSink(DebugSink sink) {
    DebugSinks& state = Sinks();
    std::lock_guard lock(state.mutex);
    const int id = state.nextId++;
    state.sinks.emplace_back(id, std::make_shared<const DebugSink>(std::move(sink)));
    return id;
}

void RemoveDebugSink(int id) {
    DebugSinks& state = Sinks();
    std::lock_guard lock(state.mutex);
    std::erase_if(state.sinks, [id](const auto& entry) { return entry.first == id; });
}

bool SetDebugLogFile(const std::string& path) {
    std::FILE* file = nullptr;
    if (!path.empty()) {
        file = std::fopen(path.c_str(), "a");
        if (file == nullptr) {
            return false;
        }
    }
    DebugSinks& state = Sinks();
    std::lock_guard lock(state.mutex);
    if (state.logFile != nullptr) {
        std::fclose(state.logFile);
    }
    state.logFile = file;
    return true;
}

DebugCapture::DebugCapture() {
    // Installed last: the sink uses mutex_ and lines_, which exist by now.
    id_ = AddDebugSink([this](DebugChannel channel, const std::string& line) {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(channel, line);
    });
}

DebugCapture::~DebugCapture() {
    RemoveDebugSink(id_);
}

std::vector<std::string> DebugCapture::Lines(DebugChannel channel) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> lines;
    for (const auto& [lineChannel, line] : lines_) {
        if (lineChannel == channel) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<std::string> DebugCapture::Lines() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> lines;
    for (const auto& entry : lines_) {
        lines.push_back(entry.second);
    }
    return lines;
}

bool DebugCapture::Contains(const std::string& text) const {
    std::lock_guard lock(mutex_);
    for (const auto& entry : lines_) {
        if (entry.second.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

void DebugCapture::Clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

}  // namespace ce::host

namespace ce::kernel {

void EmitDebugText(host::DebugChannel channel, std::string_view text) {
    host::DebugSinks& state = host::Sinks();
    // One lock for the whole text keeps its lines together and in order.
    std::lock_guard lock(state.mutex);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (!state.sinks.empty()) {
            host::DeliverToSinks(state, channel, line);
        } else {
            host::WriteLine(state.logFile != nullptr ? state.logFile : host::ConsoleFor(channel),
                            line);
        }
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
}

}  // namespace ce::kernel
