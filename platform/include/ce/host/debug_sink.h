// Where debug output goes. Lines from NKDbgPrintfW (converted to UTF-8) and from
// CeRuntimePrintf reach the installed sinks whole, one call per line, in the order printed.
// Without a sink, output goes to stderr (debug) and stdout (runtime printf).
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace ce::host {

enum class DebugChannel { Kernel, Runtime };  // NKDbgPrintfW, CeRuntimePrintf

using DebugSink = std::function<void(DebugChannel, const std::string& line)>;

// Installs a sink and returns its id; RemoveDebugSink(id) takes it away again.
int AddDebugSink(DebugSink sink);
void RemoveDebugSink(int id);

// Sends output to a file (appending) or, with an empty path, to stderr; both channels.
// Returns false when the file cannot be opened.
bool SetDebugLogFile(const std::string& path);

// Captures every line printed while it lives (tests).
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> Lines(DebugChannel channel) const;
    std::vector<std::string> Lines() const;  // both channels, in order
    bool Contains(const std::string& text) const;
    void Clear();

private:
    int id_;
    mutable std::mutex mutex_;
    std::vector<std::pair<DebugChannel, std::string>> lines_;
};

}  // namespace ce::host
