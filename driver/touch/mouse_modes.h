// The touch modes: how a sequence of touching and lifted points becomes mouse input. The two
// generations have their own tables (the coordinate generation clicks at the release report's
// own position and keeps no button state in modes 1 and 2).
#pragma once

#include "ce/input.h"
#include "ce/types.h"
#include "core/device_context.h"

inline constexpr BYTE kModeClickOnTouch = 0;
inline constexpr BYTE kModeClickOnRelease = 1;
inline constexpr BYTE kModeMouseEmulation = 2;

inline constexpr BYTE kLastActionPress = 2;  // mouse emulation pressed the button
inline constexpr BYTE kLastActionClick = 4;  // click on touch clicked

// mouse_event coordinates per mapped unit: 0..32767 becomes 0..65534, 0..4096 becomes 0..65536.
inline constexpr DWORD kCameraFactor = 2;
inline constexpr DWORD kCoordinateFactor = 16;

inline constexpr DWORD kMouseMove = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
inline constexpr DWORD kMouseLeftDown = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
inline constexpr DWORD kMouseLeftUp = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;
inline constexpr DWORD kMouseMoveLeftDown =
    MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTDOWN;

// What a point says about the finger. The coordinate generation reports both bits; a camera
// point is either touching or lifted.
struct PointState {
    bool touching;
    bool released;
};

// mouse_event(flags, dx, dy, 0, 0). The coordinates are the mapped ones times the generation's
// factor, wrapping as DWORDs do (raw calibration points are passed through unclamped).
void InjectMouse(DWORD flags, INT32 x, INT32 y, DWORD factor);

// Camera generation: x, y are the mapped (or raw) coordinates of CurrentPoint.
void RunCameraMode(DEVICE_CONTEXT& device, BYTE mode, bool touching, INT32 x, INT32 y);

// Coordinate generation: a report with neither touching nor released does nothing.
void RunCoordinateMode(DEVICE_CONTEXT& device, BYTE mode, PointState state, INT32 x, INT32 y);
