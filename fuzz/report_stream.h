// The rest of an input as a sequence of reports: a length byte (up to maxLength) and that many
// bytes, each report in a buffer of exactly its length so a read past it is caught.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "core/device_context.h"
#include "touch/process_report.h"

namespace fuzz {

inline void FeedReports(FuzzedDataProvider& input, DEVICE_CONTEXT& device, DWORD maxLength) {
    while (input.remaining_bytes() > 0) {
        const auto length = input.ConsumeIntegralInRange<DWORD>(0, maxLength);
        std::vector<BYTE> report = input.ConsumeBytes<BYTE>(length);
        ProcessReport(report.data(), static_cast<DWORD>(report.size()), &device);
    }
}

}  // namespace fuzz
