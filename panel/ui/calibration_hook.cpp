#include "ui/calibration_hook.h"

namespace {

CalibrateDialogFactory g_factory = nullptr;

}  // namespace

CDialog* NewCalibrateDialog() {
    return g_factory != nullptr ? g_factory() : nullptr;
}

void SetCalibrateDialogFactory(CalibrateDialogFactory factory) {
    g_factory = factory;
}
