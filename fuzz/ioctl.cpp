// OTS_IOControl on a live, open context of either generation: any code (mostly the twelve),
// any buffer lengths and contents, null buffers, and vendor replies from the input; reports
// in between so that changed records are used.
#include <vector>

#include "core/entry_points.h"
#include "fuzz_controller.h"
#include "protocol/control_codes.h"
#include "touch/process_report.h"

namespace {

constexpr DWORD kCodes[] = {
    IOCTL_GET_MOUSE_UP_DATA, IOCTL_CLEAR_MOUSE_UP_DATA, IOCTL_GET_COMMAND,
    IOCTL_SET_COMMAND,       IOCTL_REINIT_OPTCORE,      IOCTL_GET_DRIVER_CONFIG,
    IOCTL_SET_DRIVER_CONFIG, IOCTL_GET_DEVICE_ID,       IOCTL_SET_CALIB_PARA_X,
    IOCTL_SET_CALIB_PARA_Y,  IOCTL_GET_DEVICE_CONFIG,   IOCTL_SET_DEVICE_CONFIG,
};
constexpr DWORD kMaxBuffer = 160;  // past every record and packet

void OneCall(FuzzedDataProvider& input, DWORD cookie) {
    const DWORD code =
        input.ConsumeBool() ? input.PickValueInArray(kCodes) : input.ConsumeIntegral<DWORD>();
    const auto lenIn = input.ConsumeIntegralInRange<DWORD>(0, kMaxBuffer);
    const auto lenOut = input.ConsumeIntegralInRange<DWORD>(0, kMaxBuffer);
    const bool nullIn = input.ConsumeBool();
    const bool nullOut = input.ConsumeBool();
    std::vector<BYTE> in = input.ConsumeBytes<BYTE>(lenIn);
    in.resize(lenIn);
    std::vector<BYTE> out(lenOut);
    DWORD actual = 0;
    otsusb::OTS_IOControl(cookie, code, nullIn ? nullptr : in.data(), lenIn,
                          nullOut ? nullptr : out.data(), lenOut, &actual);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool camera = input.ConsumeBool();
    fuzz::FuzzController controller(camera);
    controller.LoadRecords(input);
    controller.Initialise(input);
    controller.AnswerFromInput(input);
    while (input.remaining_bytes() > 0) {
        OneCall(input, controller.ctx().dwCookie);
        std::vector<BYTE> report = input.ConsumeBytes<BYTE>(camera ? 64 : 6);
        ProcessReport(report.data(), static_cast<DWORD>(report.size()), &controller.ctx());
    }
    return 0;
}
