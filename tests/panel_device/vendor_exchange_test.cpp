// SetCommand and ceGetCommand against the scripted driver: the framed bytes, the attempts and
// their pauses, the messages, and the refusals that never open the device.
#include <gtest/gtest.h>

#include "device/vendor_exchange.h"
#include "panel_test_support.h"
#include "protocol/control_codes.h"
#include "scripted_devices.h"

namespace paneltest {
namespace {

constexpr DWORD kAttemptPauseMs = 20;

VendorCommandRequest Request(BYTE cls, BYTE code, BYTE index, const Bytes& data = {}) {
    auto request =
        MakeVendorCommand(cls, code, index, data.data(), static_cast<DWORD>(data.size()));
    EXPECT_TRUE(request.has_value());
    return request.value_or(VendorCommandRequest{});
}

class VendorExchangeTest : public ScriptedDevicesTest {
  protected:
    void SetUp() override {
        ScriptedDevicesTest::SetUp();
        ASSERT_EQ(Activate(), L"OTS1:");
        ASSERT_EQ(Activate(), L"OTS2:");
    }
};

TEST_F(VendorExchangeTest, SetCommandSendsTheFramedCommandToOts1WithA64ByteReply) {
    ASSERT_TRUE(SetCommand(0, Request(1, 0x71, 0, {1}), 1));
    EXPECT_EQ(Trace(), (std::vector<std::string>{OpenOf("OTS1:"), IoOf("OTS1:", IOCTL_SET_COMMAND),
                                                 CloseOf("OTS1:")}));
    const auto calls = driver().IoCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].input, (Bytes{0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74}));
    EXPECT_EQ(calls[0].outputLength, 64u);
    EXPECT_FALSE(calls[0].outputNull);
    EXPECT_TRUE(capture_.Lines().empty());
}

TEST_F(VendorExchangeTest, CeGetCommandReturnsTheDriversReply) {
    Bytes reply(64);
    for (std::size_t i = 0; i < reply.size(); ++i) {
        reply[i] = static_cast<BYTE>(i * 3);
    }
    driver().SetReply(IOCTL_GET_COMMAND, reply);
    VendorReply got{};
    ASSERT_TRUE(ceGetCommand(0, Request(2, 0x30, 1), &got, 1));
    EXPECT_EQ(Bytes(got.begin(), got.end()), reply);
    const auto calls = driver().IoCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].code, IOCTL_GET_COMMAND);
    EXPECT_EQ(calls[0].device, L"OTS1:");
    EXPECT_EQ(calls[0].input, (Bytes{0xAA, 0x02, 0x30, 0x01, 0x01, 0x33}));
}

TEST_F(VendorExchangeTest, EachAttemptWaits20MsAndAFailureIsWrittenPerAttempt) {
    driver().FailCode(IOCTL_SET_COMMAND);
    EXPECT_FALSE(SetCommand(0, Request(1, 0x71, 1, {0}), 1));
    const auto events = driver().Events();
    ASSERT_EQ(Trace(),
              (std::vector<std::string>{OpenOf("OTS1:"), IoOf("OTS1:", IOCTL_SET_COMMAND),
                                        IoOf("OTS1:", IOCTL_SET_COMMAND), CloseOf("OTS1:")}));
    EXPECT_GE(events[1].platformMs - events[0].platformMs, kAttemptPauseMs);
    EXPECT_GE(events[2].platformMs - events[1].platformMs, kAttemptPauseMs);
    EXPECT_EQ(capture_.Lines(DebugChannel::Runtime),
              std::vector<std::string>(2, "<optlib><SetCommand>DeviceIoControl Failed!!!!"));
}

TEST_F(VendorExchangeTest, RetryCountBoundsTheAttempts) {
    struct Case {
        INT retries;
        std::size_t attempts;
    };
    for (const Case c : {Case{0, 1}, Case{1, 2}, Case{3, 4}, Case{-1, 0}, Case{-5, 0}}) {
        SCOPED_TRACE(c.retries);
        driver().Reset();
        driver().FailCode(IOCTL_GET_COMMAND);
        capture_.Clear();
        VendorReply reply{};
        EXPECT_FALSE(ceGetCommand(0, Request(2, 0x32, 0), &reply, c.retries));
        EXPECT_EQ(driver().IoCalls().size(), c.attempts);
        EXPECT_EQ(capture_.Lines(DebugChannel::Runtime),
                  std::vector<std::string>(c.attempts,
                                           "<optlib><ceGetCommand>DeviceIoControl Failed!!!!"));
        EXPECT_EQ(Trace().front(), OpenOf("OTS1:")) << "opened even with no attempt to make";
        EXPECT_EQ(Trace().back(), CloseOf("OTS1:"));
    }
}

TEST_F(VendorExchangeTest, ASecondAttemptThatSucceedsEndsTheLoop) {
    driver().FailCode(IOCTL_SET_COMMAND, 1);
    EXPECT_TRUE(SetCommand(0, Request(1, 0x71, 0, {1}), 5));
    EXPECT_EQ(driver().IoCalls().size(), 2u);
    EXPECT_EQ(capture_.Lines(DebugChannel::Runtime).size(), 1u);
}

TEST_F(VendorExchangeTest, AFailedReadLeavesTheReplyAsItWas) {
    driver().SetReply(IOCTL_GET_COMMAND, Bytes(64, 0x11));
    driver().FailCode(IOCTL_GET_COMMAND);
    VendorReply reply;
    reply.fill(0xEE);
    EXPECT_FALSE(ceGetCommand(0, Request(2, 0x32, 0), &reply, 1));
    EXPECT_EQ(reply[0], 0xEE);
    EXPECT_EQ(reply[63], 0xEE);
}

TEST_F(VendorExchangeTest, RequestsOfTheOtherKindNeverOpenTheDevice) {
    VendorReply reply{};
    EXPECT_FALSE(SetCommand(0, Request(2, 0x30, 0), 1)) << "a read is not a write";
    EXPECT_FALSE(SetCommand(0, Request(0x03, 0x30, 0), 1));
    EXPECT_FALSE(ceGetCommand(0, Request(1, 0x71, 0, {1}), &reply, 1)) << "a write is not a read";
    EXPECT_FALSE(ceGetCommand(0, Request(2, 0x30, 0), nullptr, 1)) << "nowhere to put the reply";
    EXPECT_TRUE(Trace().empty());
    EXPECT_TRUE(capture_.Lines().empty());
}

}  // namespace
}  // namespace paneltest
