// Coordinate-generation reports into a live context: the input chooses the DriverConfig, the
// DeviceConfig and both calibration records, then any sequence of reports.
#include "fuzz_controller.h"
#include "report_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    fuzz::FuzzController controller(false);
    controller.LoadRecords(input);
    controller.Initialise(input);
    fuzz::FeedReports(input, controller.ctx(), 16);
    return 0;
}
