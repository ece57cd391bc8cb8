// tspanel: the touch-screen control panel.
#include "ce/ui/app.h"

int main(int argc, char** argv) {
    return AfxWinMain(argc, argv);
}
