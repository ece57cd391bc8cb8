#include "fuzz_controller.h"

#include <algorithm>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "ce/kernel.h"
#include "core/context_table.h"
#include "protocol/calib_para.h"
#include "protocol/device_config.h"
#include "protocol/device_identity.h"
#include "protocol/driver_config.h"
#include "protocol/vendor_command.h"
#include "touch/sensor_init.h"

namespace fuzz {
namespace {

constexpr BYTE kInRequestType = 0xC0;
constexpr DWORD kNotResponding = 0x05;  // USB error of a transfer nobody answered
constexpr std::uint16_t kCoordinateVendor = 0x0EEF;

template <std::size_t N>
std::array<std::uint8_t, N> Take(FuzzedDataProvider& input) {
    std::array<std::uint8_t, N> bytes{};
    input.ConsumeData(bytes.data(), N);
    return bytes;
}

FuzzController* gCurrent = nullptr;  // the function table's entries are plain pointers

}  // namespace

Packet Frame(BYTE cls, BYTE code, BYTE index, std::span<const BYTE> payload) {
    Packet packet{};
    ots::BuildVendorCommand(cls, code, index, payload.data(),
                            std::min(payload.size(), ots::kMaxVendorPayload), packet);
    // A block response is 64 bytes whatever its payload; the checksum closes the frame.
    packet[3] = static_cast<BYTE>(ots::kVendorBlockSize + 1);
    packet[63] = ots::VendorChecksum(std::span(packet).first<63>());
    return packet;
}

void FastClock() {
    static const bool once = [] {
        ce::host::SetTimeScale(1e-12);  // every pause rounds to no wait at all
        // The driver's diagnostics are formatted as usual but not written: a write per line
        // would cost more than the input it describes.
        ce::host::AddDebugSink([](ce::host::DebugChannel, const std::string&) {});
        return true;
    }();
    static_cast<void>(once);
}

FuzzController::FuzzController(bool camera) {
    FastClock();
    gCurrent = this;
    funcs_.dwCount = sizeof(USB_FUNCS);
    funcs_.lpIssueVendorTransfer = &FuzzController::IssueVendorTransfer;
    funcs_.lpGetTransferStatus = &FuzzController::GetTransferStatus;
    funcs_.lpCloseTransfer = &FuzzController::CloseTransfer;
    device_.Descriptor.idVendor = camera ? ots::kCameraVendorId : kCoordinateVendor;
    device_.Descriptor.idProduct = camera ? ots::kCameraProductId : 1;
    context_.dwSig = DEVICE_SIG;
    InitializeCriticalSection(&context_.csLock);
    InitializeCriticalSection(&context_.csTouch);
    InitializeCriticalSection(&context_.csVendor);
    context_.hUsbDevice = reinterpret_cast<USB_HANDLE>(this);
    context_.lpUsbFuncs = &funcs_;
    context_.lpDeviceInfo = &device_;
    context_.DriverConfig = ots::DefaultDriverConfig();
    context_.ScreenConfig = ots::DefaultScreenConfig();
    context_.pTouchData = &touch_;
    context_.dwMaxPacketSize = camera ? 64 : 8;
    context_.Flags.store(DEVICE_FLAG_OPEN);
    context_.dwCookie = RegisterContext(&context_);
    source_ = [](Packet&) { return kNotResponding; };
}

FuzzController::~FuzzController() {
    UnregisterContext(context_.dwCookie);
    DeleteCriticalSection(&context_.csVendor);
    DeleteCriticalSection(&context_.csTouch);
    DeleteCriticalSection(&context_.csLock);
    gCurrent = nullptr;
}

void FuzzController::LoadRecords(FuzzedDataProvider& input) {
    context_.DriverConfig = ots::DecodeDriverConfig(Take<ots::kDriverConfigSize>(input));
    if (device_.Descriptor.idVendor == kCoordinateVendor) {
        touch_.DeviceConfig = ots::DecodeDeviceConfig(Take<ots::kDeviceConfigSize>(input));
        touch_.CalibParaX = ots::DecodeCalibPara(Take<ots::kCalibParaSize>(input));
        touch_.CalibParaY = ots::DecodeCalibPara(Take<ots::kCalibParaSize>(input));
    }
}

void FuzzController::Initialise(FuzzedDataProvider& input) {
    if (device_.Descriptor.idVendor == kCoordinateVendor) {
        InitCoordinateController(&context_);
        return;
    }
    // A bracket is answered with an empty block; each block read with the input's block.
    SetVendorSource([this, &input](Packet& packet) {
        std::array<BYTE, ots::kVendorBlockSize> block{};
        if (lastCommand_[1] == ots::kClassReadBlock) {
            block = Take<ots::kVendorBlockSize>(input);
        }
        packet = Frame(static_cast<BYTE>(0x10 | lastCommand_[1]), lastCommand_[2], lastCommand_[4],
                       block);
        return USB_NO_ERROR;
    });
    InitCameraController(&context_);
    SetVendorSource([](Packet&) { return kNotResponding; });
}

USB_TRANSFER FuzzController::IssueVendorTransfer(USB_HANDLE, LPTRANSFER_NOTIFY_ROUTINE, LPVOID,
                                                 DWORD, LPCUSB_DEVICE_REQUEST request,
                                                 LPVOID buffer, ULONG) {
    FuzzController& self = *gCurrent;
    auto* bytes = static_cast<BYTE*>(buffer);
    if (request->bmRequestType != kInRequestType) {
        self.lastCommand_ = {};
        std::copy_n(bytes, std::min<std::size_t>(request->wLength, 5), self.lastCommand_.begin());
        self.completed_ = {request->wLength, USB_NO_ERROR};
        return reinterpret_cast<USB_TRANSFER>(&self.completed_);
    }
    Packet packet{};
    const DWORD usbError = self.source_(packet);
    const DWORD length = std::min<DWORD>(request->wLength, packet.size());
    std::copy_n(packet.begin(), length, bytes);
    self.completed_ = {usbError == USB_NO_ERROR ? length : 0, usbError};
    return reinterpret_cast<USB_TRANSFER>(&self.completed_);
}

BOOL FuzzController::GetTransferStatus(USB_TRANSFER hTransfer, LPDWORD bytes, LPDWORD usbError) {
    const auto* completed = reinterpret_cast<const Completed*>(hTransfer);
    *bytes = completed->bytes;
    *usbError = completed->usbError;
    return TRUE;
}

BOOL FuzzController::CloseTransfer(USB_TRANSFER) {
    return TRUE;
}

}  // namespace fuzz
