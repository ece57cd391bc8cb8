#include "touch/mouse_modes.h"

#include "touch/touch_data.h"

void InjectMouse(DWORD flags, INT32 x, INT32 y, DWORD factor) {
    mouse_event(flags, static_cast<DWORD>(x) * factor, static_cast<DWORD>(y) * factor, 0, 0);
}

namespace {

void RecordClick(TOUCH_DATA& td, INT32 x, INT32 y) {
    td.LastClickPoint.x = x;
    td.LastClickPoint.y = y;
}

// A click at lift-off records its point, unless the touch was already down when calibration
// mode began.
void RecordRelease(DEVICE_CONTEXT& device, TOUCH_DATA& td) {
    if (device.fHeldOverTouch != 0) {
        device.fHeldOverTouch = 0;
        device.fButtonDown = 0;  // the latch of click on touch ends with the touch
        return;
    }
    RecordClick(td, td.LastTouchX, td.LastTouchY);
}

void RecordTouch(TOUCH_DATA& td, INT32 x, INT32 y) {
    td.LastTouchX = static_cast<UINT16>(x);
    td.LastTouchY = static_cast<UINT16>(y);
}

void CameraClickOnTouch(DEVICE_CONTEXT& device, TOUCH_DATA& td, bool touching, INT32 x, INT32 y) {
    if (!touching) {
        if (td.LastAction == kLastActionClick) {
            device.fButtonDown = 0;
        }
        return;
    }
    if (device.fButtonDown != 0) {
        return;  // one click per touch
    }
    RecordClick(td, x, y);
    device.fButtonDown = 1;
    InjectMouse(kMouseLeftDown, x, y, kCameraFactor);
    td.LastAction = kLastActionClick;
    InjectMouse(kMouseLeftUp, x, y, kCameraFactor);
}

void CameraClickOnRelease(DEVICE_CONTEXT& device, TOUCH_DATA& td, bool touching, INT32 x, INT32 y) {
    if (touching) {
        device.fButtonDown = 1;
        RecordTouch(td, x, y);
        InjectMouse(kMouseMove, x, y, kCameraFactor);
        return;
    }
    if (device.fButtonDown == 0) {
        return;  // a lift-off without a touch clicks nothing
    }
    RecordRelease(device, td);
    device.fButtonDown = 0;
    InjectMouse(kMouseLeftDown, td.LastTouchX, td.LastTouchY, kCameraFactor);
    InjectMouse(kMouseLeftUp, td.LastTouchX, td.LastTouchY, kCameraFactor);
}

void CameraMouseEmulation(DEVICE_CONTEXT& device, TOUCH_DATA& td, bool touching, INT32 x, INT32 y) {
    if (touching) {
        device.fButtonDown = 1;
        td.LastAction = kLastActionPress;
        RecordTouch(td, x, y);
        InjectMouse(kMouseMoveLeftDown, x, y, kCameraFactor);
        return;
    }
    if (device.fButtonDown == 0) {
        return;
    }
    device.fButtonDown = 0;
    InjectMouse(kMouseLeftUp, td.LastTouchX, td.LastTouchY, kCameraFactor);
}

}  // namespace

void RunCameraMode(DEVICE_CONTEXT& device, BYTE mode, bool touching, INT32 x, INT32 y) {
    TOUCH_DATA& td = *device.pTouchData;
    switch (mode) {
        case kModeClickOnTouch:
            CameraClickOnTouch(device, td, touching, x, y);
            break;
        case kModeClickOnRelease:
            CameraClickOnRelease(device, td, touching, x, y);
            break;
        case kModeMouseEmulation:
            CameraMouseEmulation(device, td, touching, x, y);
            break;
        default:
            break;  // no mouse input at all
    }
}

void RunCoordinateMode(DEVICE_CONTEXT& device, BYTE mode, PointState state, INT32 x, INT32 y) {
    if (!state.touching && !state.released) {
        return;
    }
    TOUCH_DATA& td = *device.pTouchData;
    switch (mode) {
        case kModeClickOnTouch:
            if (state.touching) {
                if (device.fButtonDown == 0) {
                    device.fButtonDown = 1;
                    InjectMouse(kMouseLeftDown, x, y, kCoordinateFactor);
                    InjectMouse(kMouseLeftUp, x, y, kCoordinateFactor);
                    td.LastAction = kLastActionClick;
                }
            } else if (td.LastAction == kLastActionClick) {
                device.fButtonDown = 0;
            }
            break;
        case kModeClickOnRelease:
            if (state.touching) {
                RecordTouch(td, x, y);
                InjectMouse(kMouseMove, x, y, kCoordinateFactor);
            } else {
                RecordRelease(device, td);
                InjectMouse(kMouseLeftDown, x, y, kCoordinateFactor);
                InjectMouse(kMouseLeftUp, x, y, kCoordinateFactor);
            }
            break;
        case kModeMouseEmulation:
            InjectMouse(state.touching ? kMouseMoveLeftDown : kMouseLeftUp, x, y,
                        kCoordinateFactor);
            break;
        default:
            break;
    }
}
