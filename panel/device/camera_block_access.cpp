// Blocks that only the camera controller has: its panel parameters and its firmware version.
#include "device/camera_sequence.h"
#include "device/device_access.h"
#include "device/stream_device.h"
#include "protocol/vendor_command.h"

namespace {

constexpr BYTE kPanelParamsIndex = 0;
constexpr BYTE kVersionIndex = 0;

// Copies the block to the caller only when it was read, and succeeds only then: a caller that
// trusted an unread block would store zeros back into the controller.
BOOL ReadBlockInSequence(BYTE bCode, BYTE bIndex, VendorBlock* pBlock) {
    const CameraSequenceResult result = RunCameraSequence([&] {
        VendorBlock block{};
        const BOOL fRead = ReadCameraBlock(bCode, bIndex, block);
        if (fRead) {
            *pBlock = block;
        }
        return fRead;
    });
    return result.fCompleted && result.fBody ? TRUE : FALSE;
}

}  // namespace

BOOL GetScreenProperty(VendorBlock* pPanelParams, DWORD /*dwReserved*/,
                       const ots::DeviceIdentity* pIdentity) {
    if (pPanelParams == nullptr) {
        return FALSE;
    }
    if (!IsCameraIdentity(pIdentity)) {
        pPanelParams->fill(0);
        return TRUE;
    }
    return ReadBlockInSequence(ots::kCodePanelBlock, kPanelParamsIndex, pPanelParams);
}

BOOL GetVersion(DWORD /*dwDevice*/, VendorBlock* pVersion, DWORD /*dwReserved1*/,
                DWORD /*dwReserved2*/) {
    if (pVersion == nullptr) {
        return FALSE;
    }
    return ReadBlockInSequence(ots::kCodeVersion, kVersionIndex, pVersion);
}
