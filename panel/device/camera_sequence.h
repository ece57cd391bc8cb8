// The camera controller's settings live in the controller: each operation is a short
// sequence of vendor commands inside the bracket that both cameras expect around block reads
// and stores.
#pragma once

#include <new>

#include "ce/kernel.h"
#include "device/vendor_command_request.h"

// The pause between two commands of a sequence.
inline constexpr DWORD kCameraCommandPauseMs = 20;

// W(code, index, data) and R(code, index) of a sequence, each tried twice. ReadCameraBlock
// fills the block only when the read succeeded. Both may throw std::bad_alloc.
BOOL WriteCameraCommand(BYTE bCode, BYTE bIndex, const BYTE* pData, DWORD dwDataLength);
BOOL ReadCameraBlock(BYTE bCode, BYTE bIndex, VendorBlock& block);

// Camera 0, then camera 1; stops at the first failure. May throw std::bad_alloc.
BOOL OpenCameraBracket();
// Both cameras, whatever happens to the first; never throws. The result of the last command.
BOOL CloseCameraBracket();

struct CameraSequenceResult {
    bool fCompleted;  // the bracket opened and nothing ran out of memory
    BOOL fBody;       // what the body reported
    BOOL fClosed;     // the result of the last bracket-close command
};

// Opens the bracket (a failure ends the sequence with nothing else sent), pauses, runs the body
// and closes the bracket again whatever the body did. An allocation failure anywhere still
// closes the bracket.
template <class Body>
CameraSequenceResult RunCameraSequence(Body body) {
    CameraSequenceResult result{false, FALSE, FALSE};
    try {
        if (!OpenCameraBracket()) {
            return result;
        }
        Sleep(kCameraCommandPauseMs);
        result.fBody = body();
        result.fCompleted = true;
    } catch (const std::bad_alloc&) {
        result.fCompleted = false;
    }
    result.fClosed = CloseCameraBracket();
    return result;
}
