#include "protocol/device_identity.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <string_view>

namespace ots {
namespace {

using Bytes6 = std::array<std::uint8_t, kDeviceIdentitySize>;

TEST(DeviceIdentityRecord, CameraControllerIdentityBytes) {
    Bytes6 bytes{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EncodeDeviceIdentity(DeviceIdentity{0x7E21, 0x0C20, 0x0100}, bytes);
    EXPECT_EQ(bytes, (Bytes6{0x21, 0x7E, 0x20, 0x0C, 0x00, 0x01}));
}

TEST(DeviceIdentityRecord, DecodeReadsVendorProductRelease) {
    const DeviceIdentity id = DecodeDeviceIdentity(Bytes6{0x21, 0x7E, 0x12, 0x00, 0x34, 0x12});
    EXPECT_EQ(id.idVendor, 0x7E21);
    EXPECT_EQ(id.idProduct, 0x0012);
    EXPECT_EQ(id.bcdDevice, 0x1234);
}

struct FamilyCase {
    std::uint16_t vendor;
    std::uint16_t product;
    ControllerFamily family;
    std::wstring_view stream;
};

void PrintTo(const FamilyCase& c, std::ostream* os) {
    *os << std::hex << c.vendor << "/" << c.product;
}

class ControllerFamilies : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(ControllerFamilies, DecidedByVendorAndProduct) {
    const FamilyCase& c = GetParam();
    EXPECT_EQ(FamilyOf(c.vendor, c.product), c.family);
    EXPECT_EQ(std::wstring_view(StreamNameFor(FamilyOf(c.vendor, c.product))), c.stream);
    EXPECT_EQ(IsCameraGeneration(c.vendor, c.product), c.family == ControllerFamily::Camera);
}

INSTANTIATE_TEST_SUITE_P(
    Identities, ControllerFamilies,
    ::testing::Values(FamilyCase{0x7E21, 0x0C20, ControllerFamily::Camera, L"OTS1:"},
                      FamilyCase{0x7E21, 0x0012, ControllerFamily::SecondStream, L"OTS2:"},
                      // Near misses stay coordinate controllers on the first stream.
                      FamilyCase{0x7E21, 0x0C21, ControllerFamily::Coordinate, L"OTS1:"},
                      FamilyCase{0x7E21, 0x0000, ControllerFamily::Coordinate, L"OTS1:"},
                      FamilyCase{0x7E22, 0x0C20, ControllerFamily::Coordinate, L"OTS1:"},
                      FamilyCase{0x7E20, 0x0012, ControllerFamily::Coordinate, L"OTS1:"},
                      FamilyCase{0x0C20, 0x7E21, ControllerFamily::Coordinate, L"OTS1:"},
                      FamilyCase{0x0000, 0x0000, ControllerFamily::Coordinate, L"OTS1:"},
                      FamilyCase{0xFFFF, 0xFFFF, ControllerFamily::Coordinate, L"OTS1:"}));

}  // namespace
}  // namespace ots
