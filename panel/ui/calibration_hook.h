// Where the main dialog gets its calibration dialog from. The calibration module installs
// the factory of its CCalibrateDlg (built on template 130, modeless); tests install their own.
// The dialog reports its end only by posting WM_CALIBRATION_END to the main window.
#pragma once

#include "ce/ui/dialog.h"

using CalibrateDialogFactory = CDialog* (*)();

// The dialog object, heap-allocated with no parent; null while no factory is installed.
CDialog* NewCalibrateDialog();
void SetCalibrateDialogFactory(CalibrateDialogFactory factory);
