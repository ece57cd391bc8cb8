// Where debug output goes. Lines from NKDbgPrintfW (converted to UTF-8) and from
// CeRuntimePrintf reach the installed sinks whole, one call per line, in the order printed.
// Text is split at '\n', which the line leaves out (a '\r' before it stays); text after the
// last '\n' is delivered as a line of its own, so a print without a trailing newline still
// makes a whole line. Sinks are called one line at a time, never concurrently.
// Without a sink, output goes to the log file if one is set, else to stderr (debug) and
// stdout (runtime printf).
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

// Sends output of both channels to a file (appending) or, with an empty path, back to stderr
// (debug) and stdout (runtime printf). Returns false, changing nothing, when the file cannot
// be opened.
bool SetDebugLogFile(const std::string& path);

// Captures every line printed while it lives (tests).
class DebugCapture {
  public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> Lines(DebugChannel channel) const;
    std::vector<std::string> Lines() const;        // both channels, in order
    bool Contains(const std::string& text) const;  // some captured line contains text
    void Clear();

  private:
    int id_;
    mutable std::mutex mutex_;
    std::vector<std::pair<DebugChannel, std::string>> lines_;
};

}  // namespace ce::host
