// The rest of an input as a sequence of reports: a length byte (up to maxLength) and that many
// bytes, each report in a buffer of exactly its length so a read past it is caught.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "core/device_context.h"
#include "fuzz_controller.h"
#include "touch/process_report.h"

namespace fuzz {

inline void FeedReports(FuzzedDataProvider& input, DEVICE_CONTEXT& device, DWORD maxLength) {
    while (input.remaining_bytes() > 0) {
        const auto length = input.ConsumeIntegralInRange<DWORD>(0, maxLength);
        std::vector<BYTE> report = input.ConsumeBytes<BYTE>(length);
        ProcessReport(report.data(), static_cast<DWORD>(report.size()), &device);
    }
}

// A whole report target: records and initialisation from the input, then its reports.
inline int FuzzReports(const std::uint8_t* data, std::size_t size, bool camera) {
    FuzzedDataProvider input(data, size);
    FuzzController controller(camera);
    controller.LoadRecords(input);
    controller.Initialise(input);
    FeedReports(input, controller.ctx(), camera ? 64 : 16);
    return 0;
}

}  // namespace fuzz
