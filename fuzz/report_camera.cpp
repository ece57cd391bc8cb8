// Camera-generation reports into a live context: the input chooses the DriverConfig, the six
// blocks the controller returns at initialisation, then any sequence of image packets.
#include "fuzz_controller.h"
#include "report_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    fuzz::FuzzController controller(true);
    controller.LoadRecords(input);
    controller.Initialise(input);
    fuzz::FeedReports(input, controller.ctx(), 64);
    return 0;
}
