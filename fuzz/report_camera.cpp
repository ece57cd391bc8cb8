// Camera-generation reports into a live context: the input chooses the DriverConfig, the six
// blocks the controller returns at initialisation, then any sequence of image packets.
#include "fuzz_controller.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::FuzzReports(data, size, true);
}
