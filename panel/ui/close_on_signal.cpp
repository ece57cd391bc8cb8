#include "ui/close_on_signal.h"

#include <pthread.h>

#include <csignal>
#include <cstdlib>
#include <thread>

#include "ce/ui/framework.h"

namespace {

constexpr time_t kCloseWaitSeconds = 3;

}  // namespace

void CloseOnSignal() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // every later thread inherits the mask
    std::thread([stop] {
        int signal = 0;
        sigwait(&stop, &signal);
        CWnd* main = AfxGetMainWnd();
        if (main != nullptr && ::PostMessageW(main->GetSafeHwnd(), WM_CLOSE, 0, 0)) {
            // A message box waiting for an answer would hold the close up: a stop is a stop.
            const timespec closing{kCloseWaitSeconds, 0};
            sigtimedwait(&stop, nullptr, &closing);
        }
        std::_Exit(128 + signal);
    }).detach();
}
