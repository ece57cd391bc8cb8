#include "protocol/bytes.h"
#include "sim/coordinate_controller.h"

namespace ots::sim {

CoordinateReport EncodeCoordinateReport(std::uint8_t status, std::uint16_t rawX,
                                        std::uint16_t rawY) {
    CoordinateReport report{};
    report[0] = kCoordinateReportId;
    report[1] = status;
    StoreU16(report, 2, rawX);
    StoreU16(report, 4, rawY);
    return report;
}

}  // namespace ots::sim
