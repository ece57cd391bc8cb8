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
#include "support/records.h"
#include "touch/process_report.h"
#include "touch/sensor_init.h"

namespace fuzz {
namespace {

constexpr BYTE kInRequestType = 0xC0;
constexpr std::uint16_t kCoordinateVendor = 0x0EEF;

template <std::size_t N>
std::array<std::uint8_t, N> Take(FuzzedDataProvider& input) {
    return ots::test::ArrayOf<N>(input.ConsumeBytes<std::uint8_t>(N));
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
        if (setup.bmRequestType == kInRequestType) {
            return source_();
        }
        lastCommand_ = ots::test::ArrayOf<5>(ots::test::Bytes(sent.begin(), sent.end()));
        return ots::test::VendorAnswer{};
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
    source_ = [] { return kSilent; };
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
    SetVendorSource([this, &input] {
        const bool read = lastCommand_[1] == ots::kClassReadBlock;
        return ots::test::VendorAnswer{
            USB_NO_ERROR,
            ots::test::BlockResponse(
                static_cast<BYTE>(0x10 | lastCommand_[1]), lastCommand_[2], lastCommand_[4],
                read ? input.ConsumeBytes<BYTE>(ots::kVendorBlockSize) : ots::test::Bytes{})};
    });
    InitCameraController(&context_);
    SetVendorSource([] { return kSilent; });
}

void FuzzController::AnswerFromInput(FuzzedDataProvider& input) {
    SetVendorSource([&input] {
        if (input.remaining_bytes() == 0 || input.ConsumeBool()) {
            return kSilent;
        }
        std::vector<BYTE> packet = input.ConsumeBytes<BYTE>(64);
        packet.resize(64);
        return ots::test::VendorAnswer{USB_NO_ERROR, packet};
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
