#include "protocol/calib_para.h"

#include "protocol/bytes.h"
#include "record_layout.h"

namespace ots {

namespace at = layout::calib_para;

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
    CalibPara r{};
    r.A03 = LoadReal4(bytes, at::A03);
    r.A12 = LoadReal4(bytes, at::A12);
    r.A21 = LoadReal4(bytes, at::A21);
    r.A30 = LoadReal4(bytes, at::A30);
    r.A02 = LoadReal4(bytes, at::A02);
    r.A11 = LoadReal4(bytes, at::A11);
    r.A20 = LoadReal4(bytes, at::A20);
    r.A01 = LoadReal4(bytes, at::A01);
    r.A10 = LoadReal4(bytes, at::A10);
    r.A00 = LoadReal4(bytes, at::A00);
    r.reserve0 = LoadU32(bytes, at::reserve0);
    r.reserve1 = LoadU32(bytes, at::reserve1);
    r.reserve2 = LoadU32(bytes, at::reserve2);
    r.reserve3 = LoadU32(bytes, at::reserve3);
    r.reserve4 = bytes[at::reserve4];
    r.reserve5 = bytes[at::reserve5];
    return r;
}

void EncodeCalibPara(const CalibPara& record, std::span<std::uint8_t, kCalibParaSize> bytes) {
    StoreReal4(bytes, at::A03, record.A03);
    StoreReal4(bytes, at::A12, record.A12);
    StoreReal4(bytes, at::A21, record.A21);
    StoreReal4(bytes, at::A30, record.A30);
    StoreReal4(bytes, at::A02, record.A02);
    StoreReal4(bytes, at::A11, record.A11);
    StoreReal4(bytes, at::A20, record.A20);
    StoreReal4(bytes, at::A01, record.A01);
    StoreReal4(bytes, at::A10, record.A10);
    StoreReal4(bytes, at::A00, record.A00);
    StoreU32(bytes, at::reserve0, record.reserve0);
    StoreU32(bytes, at::reserve1, record.reserve1);
    StoreU32(bytes, at::reserve2, record.reserve2);
    StoreU32(bytes, at::reserve3, record.reserve3);
    bytes[at::reserve4] = record.reserve4;
    bytes[at::reserve5] = record.reserve5;
}

}  // namespace ots
