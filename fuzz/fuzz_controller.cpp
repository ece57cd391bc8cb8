#include "fuzz_controller.h"

#include <algorithm>
#include <vector>

#include "ce/host/clock.h"
#include "ce/host/debug_sink.h"
#include "ce/kernel.h"
#include "core/context_table.h"
#include "protocol/calib_para.h"
#include "protocol/device_config.h"
#include "protocol/device_identity.h"
#include "protocol/driver_config.h"
#include "protocol/vendor_command.h"
#include "touch/process_report.h"
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

// The bytes of a whole frame whose header and checksum are right, around the payload.
Packet Frame(BYTE cls, BYTE code, BYTE index, std::span<const BYTE> payload) {
    Packet packet{};
    ots::BuildVendorCommand(cls, code, index, payload.data(),
                            std::min(payload.size(), ots::kMaxVendorPayload), packet);
    // A block response is 64 bytes whatever its payload; the checksum closes the frame.
    packet[3] = static_cast<BYTE>(ots::kVendorBlockSize + 1);
    packet[63] = ots::VendorChecksum(std::span(packet).first<63>());
    return packet;
}

}  // namespace

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

FuzzController::FuzzController(bool camera)
    : camera_(camera),
      usb_(camera ? ots::kCameraVendorId : kCoordinateVendor, camera ? ots::kCameraProductId : 1) {
    FastClock();
    usb_.vendor = [this](const USB_DEVICE_REQUEST& setup, std::span<const BYTE> sent) {
        if (setup.bmRequestType != kInRequestType) {
            lastCommand_ = {};
            std::copy_n(sent.begin(), std::min(sent.size(), lastCommand_.size()),
                        lastCommand_.begin());
            return ots::test::VendorAnswer{};
        }
        Packet packet{};
        const DWORD usbError = source_(packet);
        return ots::test::VendorAnswer{
            usbError, usbError == USB_NO_ERROR ? std::vector<BYTE>(packet.begin(), packet.end())
                                               : std::vector<BYTE>{}};
    };
    context_.dwSig = DEVICE_SIG;
    InitializeCriticalSection(&context_.csLock);
    InitializeCriticalSection(&context_.csTouch);
    InitializeCriticalSection(&context_.csVendor);
    context_.hUsbDevice = ots::test::FakeUsb::Device();
    context_.lpUsbFuncs = usb_.Funcs();
    context_.lpDeviceInfo = usb_.Funcs()->lpGetDeviceInfo(context_.hUsbDevice);
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
}

void FuzzController::LoadRecords(FuzzedDataProvider& input) {
    context_.DriverConfig = ots::DecodeDriverConfig(Take<ots::kDriverConfigSize>(input));
    if (!camera_) {
        touch_.DeviceConfig = ots::DecodeDeviceConfig(Take<ots::kDeviceConfigSize>(input));
        touch_.CalibParaX = ots::DecodeCalibPara(Take<ots::kCalibParaSize>(input));
        touch_.CalibParaY = ots::DecodeCalibPara(Take<ots::kCalibParaSize>(input));
    }
}

void FuzzController::Initialise(FuzzedDataProvider& input) {
    if (!camera_) {
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

void FuzzController::AnswerFromInput(FuzzedDataProvider& input) {
    SetVendorSource([&input](Packet& packet) {
        if (input.remaining_bytes() == 0 || input.ConsumeBool()) {
            return kNotResponding;
        }
        input.ConsumeData(packet.data(), packet.size());
        return DWORD{USB_NO_ERROR};
    });
}

void FeedReports(FuzzedDataProvider& input, DEVICE_CONTEXT& device, DWORD maxLength) {
    while (input.remaining_bytes() > 0) {
        const auto length = input.ConsumeIntegralInRange<DWORD>(0, maxLength);
        std::vector<BYTE> report = input.ConsumeBytes<BYTE>(length);
        ProcessReport(report.data(), static_cast<DWORD>(report.size()), &device);
    }
}

int FuzzReports(const std::uint8_t* data, std::size_t size, bool camera) {
    FuzzedDataProvider input(data, size);
    FuzzController controller(camera);
    controller.LoadRecords(input);
    controller.Initialise(input);
    FeedReports(input, controller.ctx(), camera ? 64 : 16);
    return 0;
}

}  // namespace fuzz
