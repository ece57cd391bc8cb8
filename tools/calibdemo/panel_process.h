// The control panel as a child process on the demo's display.
#pragma once

#include <sys/types.h>

#include <string>

namespace calibdemo {

class PanelProcess {
  public:
    PanelProcess(const std::string& program, const std::string& display);
    ~PanelProcess();  // stops it if it still runs
    PanelProcess(const PanelProcess&) = delete;
    PanelProcess& operator=(const PanelProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    // Ends it (SIGTERM) and waits; true when it ended.
    bool Stop();
    // Waits for it to end by itself; true when it did within the time.
    bool Ended(int timeoutMs);

  private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace calibdemo
