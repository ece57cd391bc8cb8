// TOUCH_DATA: the zero-filled work area of touch processing, one per device context. Every
// buffer of the report path lives here; nothing on that path allocates.
#pragma once

#include "ce/types.h"
#include "protocol/calib_para.h"
#include "protocol/device_config.h"
#include "protocol/touch_point.h"
#include "protocol/vendor_command.h"
#include "touch/optical_context.h"

using ots::TouchPoint;

inline constexpr int kMaxPoints = 60;        // bound of every point array and step count
inline constexpr int kParamBlockSize = 58;   // PanelParams, CameraParams0/1

// Four points, E[0] oldest, E[3] newest.
struct PointHistory {
    TouchPoint E[4];
};

struct TapFilter {
    INT32 maxCount;     // 1..60
    INT32 thresholdSq;  // squared movement threshold, controller units
    TouchPoint entries[kMaxPoints];
    TouchPoint held;
    INT32 count;
    BYTE state;  // TAP_*
};

inline constexpr BYTE TAP_PASS_THROUGH = 0;
inline constexpr BYTE TAP_IDLE = 1;
inline constexpr BYTE TAP_MOVING = 2;
inline constexpr BYTE TAP_COLLECTING = 3;
inline constexpr BYTE TAP_HOLDING = 4;

struct TOUCH_DATA {
    BYTE PendingPacket[ots::kVendorPacketSize];
    BYTE LastAction;  // 4 after a click on touch, 2 after a press of mouse emulation
    UINT16 LastTouchX, LastTouchY;
    INT32 PacketPending;
    BYTE LineImageA[ots::kLineImagePixels];
    BYTE LineImageB[ots::kLineImagePixels];
    BYTE PanelParams[kParamBlockSize];    // read with panel_params.h
    BYTE CameraParams0[kParamBlockSize];  // first byte bits 0-1: packet order
    BYTE CameraParams1[kParamBlockSize];
    ots::DeviceConfig DeviceConfig;
    OpticalContext Optical;  // "OpticalContext"
    ots::CalibPara DeviceCalibX, DeviceCalibY;  // from the camera controller
    ots::CalibPara CalibParaX, CalibParaY;      // registry copies
    TapFilter Tap;  // "TapFilter" of the first touch
    PointHistory SecondHistory;
    PointHistory HistoryA, HistoryB;
    TouchPoint CurrentPoint;
    TouchPoint SecondPoint;
    TouchPoint LastClickPoint;
    TouchPoint FilteredA[kMaxPoints], FilteredB[kMaxPoints];
    TouchPoint SplineA[kMaxPoints], SplineB[kMaxPoints];
};
