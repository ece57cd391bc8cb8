#include "device/camera_sequence.h"

#include <algorithm>

#include "device/vendor_exchange.h"
#include "protocol/vendor_command.h"

namespace {

constexpr INT kRetryCount = 1;
constexpr BYTE kCameraCount = 2;
constexpr BYTE kBracketOpen = 1;
constexpr BYTE kBracketClose = 0;

}  // namespace

BOOL WriteCameraCommand(BYTE bCode, BYTE bIndex, const BYTE* pData, DWORD dwDataLength) {
    const auto request = MakeVendorCommand(ots::kClassControl, bCode, bIndex, pData, dwDataLength);
    return request.has_value() && SendControlCommand(*request, kRetryCount);
}

BOOL ReadCameraBlock(BYTE bCode, BYTE bIndex, VendorBlock& block) {
    const auto request = MakeVendorCommand(ots::kClassReadBlock, bCode, bIndex, nullptr, 0);
    VendorReply reply{};
    if (!request.has_value() || !SendReadCommand(*request, reply, kRetryCount)) {
        return FALSE;
    }
    std::copy_n(reply.begin() + ots::kVendorBlockOffset, block.size(), block.begin());
    return TRUE;
}

BOOL OpenCameraBracket() {
    for (BYTE bCamera = 0; bCamera < kCameraCount; ++bCamera) {
        if (!WriteCameraCommand(ots::kCodeBracket, bCamera, &kBracketOpen, 1)) {
            return FALSE;
        }
    }
    return TRUE;
}

BOOL CloseCameraBracket() {
    BOOL fLast = FALSE;
    for (BYTE bCamera = 0; bCamera < kCameraCount; ++bCamera) {
        try {
            fLast = WriteCameraCommand(ots::kCodeBracket, bCamera, &kBracketClose, 1);
        } catch (const std::bad_alloc&) {
            fLast = FALSE;
        }
    }
    return fLast;
}
