// The dialog framework in one include: application, windows, dialogs, controls, drawing.
#pragma once

#include "ce/ui/app.h"
#include "ce/ui/controls.h"
#include "ce/ui/dialog.h"
#include "ce/ui/dialog_template.h"
#include "ce/ui/gdi.h"
#include "ce/ui/windows.h"
#include "ce/ui/wnd.h"
