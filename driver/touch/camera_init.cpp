// Initialisation of a camera controller: its blocks are read over vendor commands without
// holding csTouch (each exchange takes at least 60 ms), then applied under it in one step. A
// failed exchange applies nothing, so reports never see geometry, configuration and
// calibration of different reads.
#include <array>
#include <span>

#include "protocol/vendor_command.h"
#include "touch/calibration_map.h"
#include "touch/panel_params.h"
#include "touch/point_history.h"
#include "touch/position.h"
#include "touch/sensor_init.h"
#include "touch/tap_filter.h"
#include "touch/touch_data.h"
#include "touch/touch_lock.h"
#include "touch/vendor_exchange.h"

namespace {

using Block = std::array<BYTE, ots::kVendorBlockSize>;

constexpr BYTE kCameraCount = 2;
constexpr BYTE kBracketOpen = 1;   // before the block reads
constexpr BYTE kBracketClose = 0;  // after them
constexpr float kPercent = 0.01f;

struct ControllerBlocks {
    Block cameraParams0{}, cameraParams1{}, panelParams{};
    Block deviceConfig{}, calibX{}, calibY{};
};

struct BlockRead {
    BYTE code;
    BYTE index;
    Block ControllerBlocks::*destination;
};

// At attach everything is read; a re-initialisation keeps the camera and panel blocks.
constexpr BlockRead kAttachReads[] = {
    {ots::kCodeCameraParams, 0, &ControllerBlocks::cameraParams0},
    {ots::kCodeCameraParams, 1, &ControllerBlocks::cameraParams1},
    {ots::kCodePanelBlock, 0, &ControllerBlocks::panelParams},
    {ots::kCodePanelBlock, 1, &ControllerBlocks::deviceConfig},
    {ots::kCodeCalibration, 0, &ControllerBlocks::calibX},
    {ots::kCodeCalibration, 1, &ControllerBlocks::calibY},
};
constexpr BlockRead kReinitReads[] = {
    {ots::kCodePanelBlock, 1, &ControllerBlocks::deviceConfig},
    {ots::kCodeCalibration, 0, &ControllerBlocks::calibX},
    {ots::kCodeCalibration, 1, &ControllerBlocks::calibY},
};

DWORD SendBracket(DEVICE_CONTEXT* pDevice, BYTE argument) {
    std::array<BYTE, ots::kVendorPacketSize> response{};
    for (BYTE camera = 0; camera < kCameraCount; ++camera) {
        const DWORD result = ExchangeVendorCommand(pDevice, ots::kClassControl, ots::kCodeBracket,
                                                   camera, &argument, 1, response.data());
        if (result != ERROR_SUCCESS) {
            return result;
        }
    }
    return ERROR_SUCCESS;
}

DWORD ReadBlock(DEVICE_CONTEXT* pDevice, const BlockRead& read, ControllerBlocks* blocks) {
    std::array<BYTE, ots::kVendorPacketSize> response{};
    const DWORD result = ExchangeVendorCommand(pDevice, ots::kClassReadBlock, read.code, read.index,
                                               nullptr, 0, response.data());
    if (result == ERROR_SUCCESS) {
        const auto payload =
            std::span(response).subspan<ots::kVendorBlockOffset, ots::kVendorBlockSize>();
        std::copy(payload.begin(), payload.end(), (blocks->*read.destination).begin());
    }
    return result;
}

// Stops at the first exchange that fails all its attempts.
DWORD ReadControllerBlocks(DEVICE_CONTEXT* pDevice, std::span<const BlockRead> reads,
                           ControllerBlocks* blocks) {
    // Keeps pass-through commands from closing the bracket in the middle of the reads.
    const VendorLock lock(*pDevice);
    DWORD result = SendBracket(pDevice, kBracketOpen);
    for (const BlockRead& read : reads) {
        if (result != ERROR_SUCCESS) {
            return result;
        }
        result = ReadBlock(pDevice, read, blocks);
    }
    return result == ERROR_SUCCESS ? SendBracket(pDevice, kBracketClose) : result;
}

// The speed limits of the position computation come from the host's ScreenConfig.
void StoreGeometryBlocks(const ControllerBlocks& blocks, const ots::ScreenConfig& screen,
                         TOUCH_DATA* td) {
    std::copy(blocks.cameraParams0.begin(), blocks.cameraParams0.end(), td->CameraParams0);
    std::copy(blocks.cameraParams1.begin(), blocks.cameraParams1.end(), td->CameraParams1);
    std::copy(blocks.panelParams.begin(), blocks.panelParams.end(), td->PanelParams);
    const std::span<BYTE> panel(td->PanelParams);
    ots::StoreU32(panel, kPanelMaxSpeedOffset, screen.MaxSpeed);
    ots::StoreI32(panel, kPanelVelocityRefCountOffset, screen.VelocityRefCount);
    ots::StoreReal4(panel, kPanelVelocityWeightOffset,
                    static_cast<float>(screen.VelocityWeight * static_cast<double>(kPercent)));
}

void ApplyControllerBlocks(DEVICE_CONTEXT* pDevice, const ControllerBlocks& blocks,
                           bool withGeometryBlocks) {
    const TouchLock lock(*pDevice);
    TOUCH_DATA* td = pDevice->pTouchData;
    if (withGeometryBlocks) {
        StoreGeometryBlocks(blocks, pDevice->ScreenConfig, td);
    }
    td->DeviceConfig = ots::DecodeDeviceConfig(blocks.deviceConfig);
    td->DeviceCalibX = ots::DecodeCalibPara(blocks.calibX);
    td->DeviceCalibY = ots::DecodeCalibPara(blocks.calibY);

    SetupGeometry(td->PanelParams, td->CameraParams1, td->CameraParams0, &td->Optical);

    const ots::DriverConfig& config = pDevice->DriverConfig;
    ResetTapFilter(&td->Tap);
    ClearHistory(&td->SecondHistory);
    ClearHistory(&td->HistoryA);
    ClearHistory(&td->HistoryB);
    SetupTapFilter(&td->Tap, config.DoubleClickTime, config.DoubleClickArea, PanelWidth(*td),
                   PanelHeight(*td));

    if (td->DeviceConfig.IsCalibrated != 1) {
        td->DeviceConfig = ots::DeviceConfig{};
        td->DeviceConfig.MaxX = static_cast<UINT16>(PanelWidth(*td));
        td->DeviceConfig.MaxY = static_cast<UINT16>(PanelHeight(*td));
    } else {
        LoadActiveCalibration(td->DeviceCalibX, td->DeviceCalibY, &td->Optical);
    }
}

DWORD InitializeCamera(DEVICE_CONTEXT* pDevice, std::span<const BlockRead> reads,
                       bool withGeometryBlocks) {
    if (pDevice == nullptr || pDevice->pTouchData == nullptr) {
        return kVendorCommandFailed;
    }
    ControllerBlocks blocks;
    const DWORD result = ReadControllerBlocks(pDevice, reads, &blocks);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    ApplyControllerBlocks(pDevice, blocks, withGeometryBlocks);
    return ERROR_SUCCESS;
}

}  // namespace

DWORD InitCameraController(DEVICE_CONTEXT* pDevice) {
    return InitializeCamera(pDevice, kAttachReads, true);
}

DWORD ReinitCameraController(DEVICE_CONTEXT* pDevice) {
    return InitializeCamera(pDevice, kReinitReads, false);
}
