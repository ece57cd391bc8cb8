#include "ui/close_on_signal.h"

#include <pthread.h>

#include <csignal>
#include <cstdlib>
#include <thread>

#include "ce/ui/framework.h"

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
        if (main == nullptr || !::PostMessageW(main->GetSafeHwnd(), WM_CLOSE, 0, 0)) {
            std::_Exit(128 + signal);
        }
        sigwait(&stop, &signal);
        std::_Exit(128 + signal);
    }).detach();
}
