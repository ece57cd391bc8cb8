// What a camera controller answers during initialisation and re-initialisation: every response
// packet (and whether the transfer fails) comes from the input, unframed; reports follow, so
// that whatever geometry was accepted is also used.
#include "fuzz_controller.h"
#include "touch/sensor_init.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    fuzz::FuzzController controller(true);
    controller.AnswerFromInput(input);
    InitCameraController(&controller.ctx());
    ReinitCameraController(&controller.ctx());
    controller.SetVendorSource([] { return fuzz::kSilent; });
    fuzz::FeedReports(input, controller.ctx(), 64);
    return 0;
}
