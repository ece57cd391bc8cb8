// Coordinate-generation reports into a live context: the input chooses the DriverConfig, the
// DeviceConfig and both calibration records, then any sequence of reports.
#include "fuzz_controller.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::FuzzReports(data, size, false);
}
