// tspanel: the touch-screen control panel.
#include "ce/ui/app.h"
#include "ui/close_on_signal.h"

int main(int argc, char** argv) {
    CloseOnSignal();
    return AfxWinMain(argc, argv);
}
