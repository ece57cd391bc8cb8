#include "device/vendor_command_request.h"

#include <algorithm>

#include "protocol/vendor_command.h"

std::optional<VendorCommandRequest> MakeVendorCommand(BYTE bClass, BYTE bCode, BYTE bIndex,
                                                      const BYTE* pData, DWORD dwDataLength) {
    if (dwDataLength > ots::kMaxVendorPayload || (pData == nullptr && dwDataLength > 0)) {
        return std::nullopt;
    }
    VendorCommandRequest request{bClass, bCode, std::vector<BYTE>(dwDataLength + 1)};
    request.Payload[0] = bIndex;
    std::copy_n(pData, dwDataLength, request.Payload.begin() + 1);
    return request;
}

std::vector<BYTE> SerializeVendorCommand(const VendorCommandRequest& request) {
    if (request.Payload.empty() || request.Payload.size() > ots::kMaxVendorPayload + 1) {
        return {};
    }
    std::vector<BYTE> framed(request.FramedLength());
    const std::size_t dataLength = request.Payload.size() - 1;
    const std::size_t length =
        ots::BuildVendorCommand(request.bClass, request.bCode, request.Payload[0],
                                request.Payload.data() + 1, dataLength, framed);
    framed.resize(length);
    return framed;
}
