#include "panel_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace calibdemo {

PanelProcess::PanelProcess(const std::string& program, const std::string& display)
    : display_(display) {
    pid_ = fork();
    if (pid_ == 0) {
        setenv("DISPLAY", display.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
}

PanelProcess::~PanelProcess() {
    Stop();
}

bool PanelProcess::Stop() {
    if (pid_ <= 0) {
        return true;
    }
    kill(pid_, SIGTERM);
    int status = 0;
    const bool ended = waitpid(pid_, &status, 0) == pid_;
    pid_ = -1;
    return ended;
}

bool PanelProcess::Ended(int timeoutMs) {
    constexpr int kPollMs = 20;
    for (int waited = 0; pid_ > 0 && waited <= timeoutMs; waited += kPollMs) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return true;
        }
        usleep(kPollMs * 1000);
    }
    return pid_ <= 0;
}

}  // namespace calibdemo
