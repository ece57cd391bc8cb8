#include "protocol/control_codes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "protocol/messages.h"

namespace {

TEST(ControlCodes, HaveTheirPublishedValues) {
    EXPECT_EQ(IOCTL_GET_MOUSE_UP_DATA, 0x80002000u);
    EXPECT_EQ(IOCTL_CLEAR_MOUSE_UP_DATA, 0x80002004u);
    EXPECT_EQ(IOCTL_GET_COMMAND, 0x80002008u);
    EXPECT_EQ(IOCTL_SET_COMMAND, 0x8000200Cu);
    EXPECT_EQ(IOCTL_REINIT_OPTCORE, 0x80002010u);
    EXPECT_EQ(IOCTL_GET_DRIVER_CONFIG, 0x80002014u);
    EXPECT_EQ(IOCTL_SET_DRIVER_CONFIG, 0x80002018u);
    EXPECT_EQ(IOCTL_GET_DEVICE_ID, 0x8000201Cu);
    EXPECT_EQ(IOCTL_SET_CALIB_PARA_X, 0x80002020u);
    EXPECT_EQ(IOCTL_SET_CALIB_PARA_Y, 0x80002024u);
    EXPECT_EQ(IOCTL_GET_DEVICE_CONFIG, 0x80002040u);
    EXPECT_EQ(IOCTL_SET_DEVICE_CONFIG, 0x80002044u);
}

TEST(ControlCodes, AreTwelveDistinctCodesWithoutFunctions80AToF) {
    const std::set<std::uint32_t> codes{
        IOCTL_GET_MOUSE_UP_DATA, IOCTL_CLEAR_MOUSE_UP_DATA, IOCTL_GET_COMMAND,
        IOCTL_SET_COMMAND,       IOCTL_REINIT_OPTCORE,      IOCTL_GET_DRIVER_CONFIG,
        IOCTL_SET_DRIVER_CONFIG, IOCTL_GET_DEVICE_ID,       IOCTL_SET_CALIB_PARA_X,
        IOCTL_SET_CALIB_PARA_Y,  IOCTL_GET_DEVICE_CONFIG,   IOCTL_SET_DEVICE_CONFIG};
    EXPECT_EQ(codes.size(), 12u);
    for (std::uint32_t function = 0x80A; function <= 0x80F; ++function) {
        EXPECT_EQ(codes.count(0x80000000u + function * 4), 0u) << std::hex << function;
    }
}

TEST(ControlCodes, CtlCodePlacesEachPart) {
    EXPECT_EQ(CTL_CODE(0x0022, 0x001, 2, 1), 0x00224006u);
    EXPECT_EQ(CTL_CODE(0x8000, 0x811, METHOD_BUFFERED, FILE_ANY_ACCESS), 0x80002044u);
}

TEST(PanelMessages, AreOffsetsFromWmUser) {
    EXPECT_EQ(WM_CALIBRATION_END, 0x474u);
    EXPECT_EQ(WM_CONNECTION_LOST, 0x46Fu);
}

}  // namespace
