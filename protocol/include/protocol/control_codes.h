// The stream device's control codes: CTL_CODE(0x8000, 0x800 + n, METHOD_BUFFERED,
// FILE_ANY_ACCESS).
#pragma once

#include <cstdint>

inline constexpr std::uint32_t METHOD_BUFFERED = 0;
inline constexpr std::uint32_t FILE_ANY_ACCESS = 0;

constexpr std::uint32_t CTL_CODE(std::uint32_t deviceType, std::uint32_t function,
                                 std::uint32_t method, std::uint32_t access) {
    return (deviceType << 16) | (access << 14) | (function << 2) | method;
}

inline constexpr std::uint32_t kOtsDeviceType = 0x8000;

inline constexpr std::uint32_t IOCTL_GET_MOUSE_UP_DATA =
    CTL_CODE(kOtsDeviceType, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr std::uint32_t IOCTL_CLEAR_MOUSE_UP_DATA =
    CTL_CODE(kOtsDeviceType, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr std::uint32_t IOCTL_GET_COMMAND =
    CTL_CODE(kOtsDeviceType, 0x802, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr std::uint32_t IOCTL_SET_COMMAND =
    CTL_CODE(kOtsDeviceType, 0x803, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr std::uint32_t IOCTL_REINIT_OPTCORE =
    CTL_CODE(kOtsDeviceType, 0x804, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr std::uint32_t IOCTL_GET_DRIVER_CONFIG =
    CTL_CODE(kOtsDeviceType, 0x805, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr std::uint32_t IOCTL_SET_DRIVER_CONFIG =
    CTL_CODE(kOtsDeviceType, 0x806, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr std::uint32_t IOCTL_GET_DEVICE_ID =
    CTL_CODE(kOtsDeviceType, 0x807, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr std::uint32_t IOCTL_SET_CALIB_PARA_X =
    CTL_CODE(kOtsDeviceType, 0x808, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr std::uint32_t IOCTL_SET_CALIB_PARA_Y =
    CTL_CODE(kOtsDeviceType, 0x809, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr std::uint32_t IOCTL_GET_DEVICE_CONFIG =
    CTL_CODE(kOtsDeviceType, 0x810, METHOD_BUFFERED, FILE_ANY_ACCESS);
inline constexpr std::uint32_t IOCTL_SET_DEVICE_CONFIG =
    CTL_CODE(kOtsDeviceType, 0x811, METHOD_BUFFERED, FILE_ANY_ACCESS);

static_assert(IOCTL_GET_MOUSE_UP_DATA == 0x80002000u);
static_assert(IOCTL_SET_CALIB_PARA_Y == 0x80002024u);
static_assert(IOCTL_GET_DEVICE_CONFIG == 0x80002040u);
static_assert(IOCTL_SET_DEVICE_CONFIG == 0x80002044u);
