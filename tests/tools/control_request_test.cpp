// The control messages between cectl and the host: layout by hand, round trips, refusals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "cectl/control_request.h"

namespace {

using namespace ots::control;
using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAreArray;

Command FullCommand() {
    Command command;
    command.verb = Verb::Draw;
    command.kind = ControllerKind::Camera;
    command.id = 3;
    command.durationMs = 250;
    command.count = 9;
    command.follow = true;
    command.points = {{1.5, -2.0}, {800.0, 600.0}};
    command.panel = "mounted";
    command.text = "line1\nline2";
    command.fileName = "f.reg";
    return command;
}

TEST(ControlRequest, FixedFieldsSitAtTheirOffsets) {
    Command tap;
    tap.verb = Verb::Tap;
    tap.id = 2;
    tap.durationMs = 50;
    tap.points = {{1.0, 0.0}};
    tap.panel = "ab";
    const Bytes payload = EncodeCommand(tap);
    ASSERT_EQ(payload.size(), kRequestFixedSize + 16 + 2);
    EXPECT_THAT(Bytes(payload.begin(), payload.begin() + kRequestFixedSize),
                ElementsAreArray(Bytes{4, 0, 0, 0, 2, 0, 0, 0, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                       0, 0, 1, 0, 0, 0, 2, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0}));
    // 1.0 as an IEEE double, little-endian.
    EXPECT_THAT(Bytes(payload.begin() + 36, payload.begin() + 44),
                ElementsAreArray(Bytes{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
    EXPECT_EQ(payload[52], 'a');
}

TEST(ControlRequest, EveryFieldRoundTrips) {
    const Command command = FullCommand();
    EXPECT_EQ(DecodeCommand(EncodeCommand(command)), command);
}

TEST(ControlRequest, PayloadsThatDoNotMatchTheirFieldsAreRefused) {
    const Bytes good = EncodeCommand(FullCommand());
    EXPECT_FALSE(DecodeCommand(Bytes(good.begin(), good.end() - 1)));
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_FALSE(DecodeCommand(longer));
    EXPECT_FALSE(DecodeCommand(Bytes(35, 0)));

    Bytes verb = good;
    verb[0] = 0;
    EXPECT_FALSE(DecodeCommand(verb));
    verb[0] = 11;
    EXPECT_FALSE(DecodeCommand(verb));
    Bytes kind = good;
    kind[2] = 3;
    EXPECT_FALSE(DecodeCommand(kind));
    Bytes flags = good;
    flags[16] = 2;
    EXPECT_FALSE(DecodeCommand(flags));
    // Sizes whose sum would wrap in 32 bits.
    Bytes huge = good;
    for (std::size_t at : {20, 24, 28, 32}) {
        huge[at] = huge[at + 1] = huge[at + 2] = huge[at + 3] = 0xFF;
    }
    EXPECT_FALSE(DecodeCommand(huge));
}

TEST(ControlRequest, CoordinatesMustBeFinite) {
    for (double bad :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        Command command = FullCommand();
        command.points[1].yPx = bad;
        EXPECT_FALSE(DecodeCommand(EncodeCommand(command)));
    }
}

TEST(ControlReply, RoundTripsAndChecksItsLength) {
    const Reply reply{ReplyStatus::Refused, "no controller 4 is plugged"};
    const Bytes payload = EncodeReply(reply);
    EXPECT_THAT(Bytes(payload.begin(), payload.begin() + 8),
                ElementsAreArray(Bytes{1, 0, 0, 0, 26, 0, 0, 0}));
    EXPECT_EQ(DecodeReply(payload), reply);
    EXPECT_FALSE(DecodeReply(Bytes(payload.begin(), payload.end() - 1)));
    Bytes status = payload;
    status[0] = 2;
    EXPECT_FALSE(DecodeReply(status));
}

}  // namespace
