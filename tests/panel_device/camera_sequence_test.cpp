// Vendor commands and the camera controller's sequences against the scripted driver: the
// framed bytes, one handle per command, the attempts and pauses, the bracket around every body,
// and which bytes of a reply reach the caller. Also the bounded wide-string copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>
#include <tuple>

#include "device/device_access.h"
#include "device/vendor_exchange.h"
#include "device/wide_string.h"
#include "protocol/control_codes.h"
#include "support/alloc_counter.h"
#include "support/records.h"
#include "support/scripted_devices.h"

namespace paneltest {
namespace {

using ots::test::Framed;

constexpr double kPauseMs = 20;
const Bytes kRecord = ots::test::Pattern(58, 0x31);
ots::DeviceConfig gConfig{};
VendorBlock gBlock{};

VendorCommandRequest Request(BYTE cls, BYTE code, BYTE index, const Bytes& data = {}) {
    auto request =
        MakeVendorCommand(cls, code, index, data.data(), static_cast<DWORD>(data.size()));
    EXPECT_TRUE(request.has_value());
    return request.value_or(VendorCommandRequest{});
}

// A reply whose block (bytes 5..62) counts up from `first`, framed by bytes that must not
// reach the caller.
Bytes ReplyWithBlock(BYTE first) {
    Bytes reply(64, 0xC3);
    for (std::size_t i = 0; i < 58; ++i) {
        reply[5 + i] = static_cast<BYTE>(first + i);
    }
    return reply;
}

class CameraSequenceTest : public ScriptedDevicesTest {
  protected:
    void SetUp() override {
        ScriptedDevicesTest::SetUp();
        ASSERT_EQ(Activate(), L"OTS1:");
    }
};

TEST(VendorCommandRequest, FramingBoundsAndKind) {
    const Bytes record(58, 0x5A);
    const auto full = MakeVendorCommand(1, 0x31, 1, record.data(), 58);
    ASSERT_TRUE(full);
    EXPECT_EQ(SerializeVendorCommand(*full).size(), 64u);
    EXPECT_FALSE(MakeVendorCommand(1, 0x31, 1, Bytes(59).data(), 59)) << "one byte too many";
    EXPECT_FALSE(MakeVendorCommand(1, 0x31, 1, nullptr, 1)) << "a length without data";
    EXPECT_TRUE(SerializeVendorCommand(VendorCommandRequest{1, 0x71, {}}).empty());
    // The low nibble of the class gives the kind: class, write, read.
    const std::tuple<BYTE, bool, bool> kinds[] = {
        {0x01, true, false}, {0x22, false, true}, {0x00, false, false}, {0x03, false, false}};
    for (const auto& [cls, write, read] : kinds) {
        const auto request = MakeVendorCommand(cls, 0x30, 0, nullptr, 0);
        ASSERT_TRUE(request);
        EXPECT_EQ(request->IsWrite(), write) << cls;
        EXPECT_EQ(request->IsRead(), read) << cls;
    }
}

TEST(WideString, CopyIsBoundedByTheCountTheSourceAndTheDestination) {
    EXPECT_EQ(WideStringLength(nullptr), 0u);
    const WCHAR unterminated[3] = {L'a', L'b', L'c'};
    const struct {
        const char* name;
        std::size_t room;
        const WCHAR* source;
        std::size_t count;
        const wchar_t* copied;  // nullptr: the destination is left alone
    } cases[] = {{"the count", 8, L"OTS1:", 3, L"OTS"},
                 {"the source's end", 8, L"OTS1:", 100, L"OTS1:"},
                 {"room for the terminator", 4, L"OTS1:", 100, L"OTS"},
                 {"unterminated source", 8, unterminated, 3, L"abc"},
                 {"no source", 2, nullptr, 3, L""},
                 {"room for the terminator only", 1, L"abc", 3, L""},
                 {"no room", 0, L"abc", 3, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WCHAR dest[9];
        std::wmemset(dest, L'#', 9);
        const std::size_t copied = WideStringCopy(dest, c.room, c.source, c.count);
        const std::wstring expected = c.copied ? c.copied : L"";
        if (c.copied) {
            EXPECT_EQ(std::wstring(dest), expected);
        }
        EXPECT_EQ(copied, expected.size());
        EXPECT_EQ(dest[c.copied ? copied + 1 : 0], L'#') << "nothing written past the end";
    }
}

TEST_F(CameraSequenceTest, AttemptsArePausedLoggedAndBoundedByTheRetryCount) {
    const struct {
        const char* name;
        bool read;
        INT retries;
        int failures;
        std::size_t attempts;
    } cases[] = {{"no retry", true, 0, script::kAlways, 1},
                 {"one retry", false, 1, script::kAlways, 2},
                 {"three", true, 3, script::kAlways, 4},
                 {"negative", true, -1, script::kAlways, 0},
                 {"second succeeds", false, 5, 1, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        driver().Reset();
        capture_.Clear();
        const DWORD code = c.read ? IOCTL_GET_COMMAND : IOCTL_SET_COMMAND;
        driver().FailCode(code, c.failures);
        VendorReply reply{};
        const BOOL ok = c.read ? ceGetCommand(0, Request(2, 0x32, 0), &reply, c.retries)
                               : SetCommand(0, Request(1, 0x71, 0, {1}), c.retries);
        EXPECT_EQ(ok, c.failures != script::kAlways);
        std::vector<std::string> trace(c.attempts + 2, IoOf("OTS1:", code));
        trace.front() = "Open OTS1:";  // even with no attempt to make
        trace.back() = "Close OTS1:";
        EXPECT_EQ(Trace(), trace);
        const std::size_t failed = c.failures == script::kAlways ? c.attempts : c.attempts - 1;
        EXPECT_EQ(capture_.Lines(DebugChannel::Runtime),
                  std::vector<std::string>(
                      failed, c.read ? "<optlib><ceGetCommand>DeviceIoControl Failed!!!!"
                                     : "<optlib><SetCommand>DeviceIoControl Failed!!!!"));
        const auto events = driver().Events();
        for (std::size_t i = 1; i + 1 < events.size(); ++i) {
            EXPECT_GE(events[i].platformMs - events[i - 1].platformMs, kPauseMs) << i;
        }
    }
}

TEST_F(CameraSequenceTest, CommandsAreFramedAndRepliesComeBackWhole) {
    ASSERT_TRUE(SetCommand(0, Request(1, 0x71, 0, {1}), 1));
    const Bytes reply = ots::test::Pattern(64, 3);
    driver().SetReply(IOCTL_GET_COMMAND, reply);
    VendorReply got{};
    ASSERT_TRUE(ceGetCommand(0, Request(2, 0x30, 1), &got, 1));
    EXPECT_EQ(Bytes(got.begin(), got.end()), reply);
    const auto calls = driver().IoCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].input, (Bytes{0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74}));
    EXPECT_EQ(calls[0].outputLength, 64u);
    EXPECT_FALSE(calls[0].outputNull);
    EXPECT_EQ(calls[1].input, (Bytes{0xAA, 0x02, 0x30, 0x01, 0x01, 0x33}));

    // Requests of the other kind, or with nowhere to put the reply, never open the device.
    driver().Reset();
    EXPECT_FALSE(SetCommand(0, Request(2, 0x30, 0), 1));
    EXPECT_FALSE(ceGetCommand(0, Request(1, 0x71, 0, {1}), &got, 1));
    EXPECT_FALSE(ceGetCommand(0, Request(2, 0x30, 0), nullptr, 1));
    EXPECT_TRUE(Trace().empty());
    EXPECT_TRUE(capture_.Lines().empty());
}

// Each sequence as sent: one open, one command and one close per vendor command, the bracket
// opened on both cameras around the body and closed again whatever the body did.
TEST_F(CameraSequenceTest, SequencesAsSentWhenCommandsFail) {
    const ots::DeviceConfig record = ots::DecodeDeviceConfig(ots::test::ArrayOf<58>(kRecord));
    ots::CalibPara calibX = ots::IdentityCalibParaX();
    calibX.A00 = -3.25f;
    Bytes bytesX(58), bytesY(58);
    ots::EncodeCalibPara(calibX, std::span<BYTE, 58>(bytesX.data(), 58));
    ots::EncodeCalibPara(ots::IdentityCalibParaY(), std::span<BYTE, 58>(bytesY.data(), 58));
    const std::map<std::string, Bytes> commands{
        {"o0", Framed(1, 0x71, 0, {1})},    {"o1", Framed(1, 0x71, 1, {1})},
        {"c0", Framed(1, 0x71, 0, {0})},    {"c1", Framed(1, 0x71, 1, {0})},
        {"S", Framed(1, 0x31, 1, kRecord)}, {"X", Framed(1, 0x15, 0, bytesX)},
        {"Y", Framed(1, 0x15, 1, bytesY)},  {"R", Framed(2, 0x30, 1)},
        {"P", Framed(2, 0x30, 0)},          {"V", Framed(2, 0x32, 0)}};
    const auto getConfig = [] { return GetDeviceConfig(&gConfig, 0, &kCamera); };
    const auto setConfig = [&] { return SetDeviceConfig(&record, 0, &kCamera); };
    const auto calibrate = [&] {
        return SetCalibratePara(calibX, ots::IdentityCalibParaY(), 0, &kCamera);
    };
    const auto panel = [] { return GetScreenProperty(&gBlock, 0, &kCamera); };
    const auto version = [] { return GetVersion(0, &gBlock, 0, 0); };
    constexpr DWORD kSet = IOCTL_SET_COMMAND, kGet = IOCTL_GET_COMMAND;
    const struct {
        const char* name;
        std::function<BOOL()> call;
        DWORD failing;  // fails twice (both attempts) after `after` calls of it succeeded
        int after;
        bool ok;
        const char* sent;
    } cases[] = {
        {"store", setConfig, 0, 0, true, "o0 o1 S c0 c1"},
        {"calibrate", calibrate, 0, 0, true, "o0 o1 X Y c0 c1"},
        {"read config", getConfig, 0, 0, true, "o0 o1 R c0 c1"},
        {"read panel", panel, 0, 0, true, "o0 o1 P c0 c1"},
        {"read version", version, 0, 0, true, "o0 o1 V c0 c1"},
        {"first open", setConfig, kSet, 0, false, "o0 o0"},
        {"first open, read", panel, kSet, 0, false, "o0 o0"},
        {"second open", getConfig, kSet, 1, false, "o0 o1 o1"},
        {"second open, calibrate", calibrate, kSet, 1, false, "o0 o1 o1"},
        {"store fails", setConfig, kSet, 2, false, "o0 o1 S S c0 c1"},
        {"x fails, y still sent", calibrate, kSet, 2, false, "o0 o1 X X Y c0 c1"},
        {"read fails", getConfig, kGet, 0, false, "o0 o1 R R c0 c1"},
        {"panel read fails", panel, kGet, 0, false, "o0 o1 P P c0 c1"},
        {"version read fails", version, kGet, 0, false, "o0 o1 V V c0 c1"},
        // A read answers with its last close; a store does not.
        {"read, last close fails", getConfig, kSet, 3, false, "o0 o1 R c0 c1 c1"},
        {"read, first close fails", getConfig, kSet, 2, true, "o0 o1 R c0 c0 c1"},
        {"store, last close fails", setConfig, kSet, 4, true, "o0 o1 S c0 c1 c1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        driver().Reset();
        driver().SetReply(IOCTL_GET_COMMAND, ReplyWithBlock(1));
        capture_.Clear();
        if (c.failing != 0) {
            driver().FailCode(c.failing, 2, c.after);
        }
        EXPECT_EQ(c.call(), c.ok);
        std::vector<Bytes> sent;
        std::istringstream names(c.sent);
        for (std::string name; names >> name;) {
            sent.push_back(commands.at(name));
        }
        EXPECT_EQ(Sent(), sent);
        const auto trace = Trace();
        if (c.failing == 0) {  // each command on a handle of its own
            ASSERT_EQ(trace.size(), 3 * sent.size());
            for (std::size_t i = 0; i < trace.size(); i += 3) {
                EXPECT_EQ(trace[i] + trace[i + 2], "Open OTS1:Close OTS1:");
            }
        }
    }
    EXPECT_EQ(capture_.Lines(DebugChannel::Runtime),
              std::vector<std::string>(2, "<optlib><SetCommand>DeviceIoControl Failed!!!!"));

    // Out of memory for the body's request: the bracket is still closed, nothing stored.
    driver().Reset();
    ots::test::FailNextAllocationOf(1 + 58);  // the store's request: index byte and record
    EXPECT_FALSE(setConfig());
    EXPECT_FALSE(ots::test::AllocationFailurePending());
    EXPECT_EQ(Sent(), (std::vector<Bytes>{commands.at("o0"), commands.at("o1"), commands.at("c0"),
                                          commands.at("c1")}));
}

TEST_F(CameraSequenceTest, TheBodyWaitsAfterTheBracketAndBetweenItsRecords) {
    ASSERT_TRUE(SetCalibratePara({}, {}, 0, &kCamera));
    const auto calls = driver().IoCalls();
    EXPECT_GE(calls.at(2).platformMs - calls.at(1).platformMs, 2 * kPauseMs);
    EXPECT_GE(calls.at(3).platformMs - calls.at(2).platformMs, 2 * kPauseMs);
}

TEST_F(CameraSequenceTest, ReadsTakeTheBlockFromByte5AndLeaveTheCallersOnFailure) {
    Bytes reply = ReplyWithBlock(0x40);
    const Bytes block(reply.begin() + 5, reply.begin() + 63);
    driver().SetReply(IOCTL_GET_COMMAND, reply);
    VendorBlock panel{}, version{};
    ASSERT_TRUE(GetScreenProperty(&panel, 0, &kCamera));
    ASSERT_TRUE(GetVersion(0, &version, 0, 0));
    EXPECT_EQ(Bytes(panel.begin(), panel.end()), block);
    EXPECT_EQ(Bytes(version.begin(), version.end()), block);

    for (const BYTE id : {BYTE{0xFF}, BYTE{0xFE}}) {  // 0xFF: none assigned, read as 0; others stay
        reply[5] = id;
        driver().SetReply(IOCTL_GET_COMMAND, reply);
        ots::DeviceConfig config{};
        ASSERT_TRUE(GetDeviceConfig(&config, 0, &kCamera));
        Bytes got(58);
        ots::EncodeDeviceConfig(config, std::span<BYTE, 58>(got.data(), 58));
        Bytes expected = block;
        expected[0] = id == 0xFF ? 0 : id;
        EXPECT_EQ(got, expected);
    }

    // An unread record is not reported as read: the caller would store its stale copy back.
    driver().FailCode(IOCTL_GET_COMMAND);
    gConfig.MaxX = 1234;
    EXPECT_FALSE(GetDeviceConfig(&gConfig, 0, &kCamera));
    EXPECT_EQ(gConfig.MaxX, 1234);
    panel.fill(0xEE);
    EXPECT_FALSE(GetScreenProperty(&panel, 0, &kCamera));
    EXPECT_FALSE(GetVersion(0, &panel, 0, 0));
    EXPECT_EQ(std::count(panel.begin(), panel.end(), 0xEE), 58);
}

}  // namespace
}  // namespace paneltest
