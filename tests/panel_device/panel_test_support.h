// What the device access tests share: identities, byte helpers, the camera controller's
// bracket commands and the table of its sequences.
#pragma once

#include <algorithm>
#include <array>
#include <functional>
#include <vector>

#include "support/camera_on_bus.h"
#include "support/records.h"
#include "device/device_access.h"

namespace paneltest {

using ots::test::ArrayOf;
using ots::test::Bytes;
using ots::test::Pattern;

inline constexpr ots::DeviceIdentity kCameraIdentity{ots::test::kCameraVendor, ots::test::kCameraProduct,
                                                     ots::test::kCameraRelease};
inline constexpr ots::DeviceIdentity kCoordinateIdentity{0x5A17, 0x0101, 0x0100};
inline constexpr ots::DeviceIdentity kSecondStreamIdentity{0x7E21, 0x0012, 0x0100};

inline const Bytes kOpen0 = ots::test::Framed(1, 0x71, 0, {1});
inline const Bytes kOpen1 = ots::test::Framed(1, 0x71, 1, {1});
inline const Bytes kClose0 = ots::test::Framed(1, 0x71, 0, {0});
inline const Bytes kClose1 = ots::test::Framed(1, 0x71, 1, {0});

struct SequenceCase {
    const char* name;
    std::function<BOOL()> call;
};

// Every operation that runs as a camera-controller sequence.
inline std::vector<SequenceCase> CameraSequences() {
    static ots::DeviceConfig config{};
    static VendorBlock block{};
    return {
        {"GetDeviceConfig", [] { return GetDeviceConfig(&config, 0, &kCameraIdentity); }},
        {"SetDeviceConfig", [] { return SetDeviceConfig(&config, 0, &kCameraIdentity); }},
        {"SetCalibratePara",
         [] { return SetCalibratePara(ots::CalibPara{}, ots::CalibPara{}, 0, &kCameraIdentity); }},
        {"GetScreenProperty", [] { return GetScreenProperty(&block, 0, &kCameraIdentity); }},
        {"GetVersion", [] { return GetVersion(0, &block, 0, 0); }},
    };
}

}  // namespace paneltest
