#include "protocol/calib_para.h"

#include "record_codec.h"
#include "record_layout.h"

namespace ots {

namespace at = layout::calib_para;

constexpr std::array<codec::Field<CalibPara>, 16> kFields{{
    {at::A03, &CalibPara::A03},
    {at::A12, &CalibPara::A12},
    {at::A21, &CalibPara::A21},
    {at::A30, &CalibPara::A30},
    {at::A02, &CalibPara::A02},
    {at::A11, &CalibPara::A11},
    {at::A20, &CalibPara::A20},
    {at::A01, &CalibPara::A01},
    {at::A10, &CalibPara::A10},
    {at::A00, &CalibPara::A00},
    {at::reserve0, &CalibPara::reserve0},
    {at::reserve1, &CalibPara::reserve1},
    {at::reserve2, &CalibPara::reserve2},
    {at::reserve3, &CalibPara::reserve3},
    {at::reserve4, &CalibPara::reserve4},
    {at::reserve5, &CalibPara::reserve5},
}};

CalibPara IdentityCalibParaX() {
    CalibPara r{};
    r.A10 = 1.0f;
    return r;
}

CalibPara IdentityCalibParaY() {
    CalibPara r{};
    r.A01 = 1.0f;
    return r;
}

CalibPara DecodeCalibPara(std::span<const std::uint8_t, kCalibParaSize> bytes) {
    return codec::Decode(bytes, kFields);
}

void EncodeCalibPara(const CalibPara& record, std::span<std::uint8_t, kCalibParaSize> bytes) {
    codec::Encode(record, kFields, bytes);
}

}  // namespace ots
