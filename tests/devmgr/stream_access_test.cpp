// CreateFile, DeviceIoControl and CloseHandle on stream devices, and what deactivation does to
// handles that are open or busy.
#include <array>
#include <cstring>
#include <thread>

#include "ce/host/devmgr_host.h"
#include "ce/host/kernel_object.h"
#include "ce/stream.h"
#include "devmgr_fixture.h"

namespace devmgr_test {
namespace {

using ::testing::IsEmpty;

HANDLE Open(const wchar_t* name) {
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, 0, 0, nullptr);
}

BOOL Echo(HANDLE stream, const std::string& in, std::array<char, 16>& out, DWORD& actual) {
    return DeviceIoControl(stream, tst::kEchoCode, const_cast<char*>(in.data()),
                           static_cast<DWORD>(in.size()), out.data(),
                           static_cast<DWORD>(out.size()), &actual, nullptr);
}

using StreamAccess = DevmgrTest;

TEST_F(StreamAccess, UnknownNamesAreNotFound) {
    EXPECT_EQ(Open(L"TST1:"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    ASSERT_NE(Activate(), nullptr);
    for (const wchar_t* name : {L"TST2:", L"TST1", L"TST:", L"XTST1:"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        EXPECT_EQ(Open(name), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(Open(nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(Driver().CallsOf(tst::Op::Open).empty());
}

TEST_F(StreamAccess, OpenReachesTheDriverWhateverTheCaseOfTheName) {
    ASSERT_NE(Activate(), nullptr);
    HANDLE stream =
        CreateFileW(L"tst1:", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(stream, INVALID_HANDLE_VALUE);
    EXPECT_NE(stream, nullptr);

    const std::vector<tst::Call> opens = Driver().CallsOf(tst::Op::Open);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].context, Driver().CallsOf(tst::Op::Init)[0].returned);
    EXPECT_EQ(opens[0].access, GENERIC_READ);
    EXPECT_EQ(opens[0].share, FILE_SHARE_READ);
    EXPECT_TRUE(CloseHandle(stream));
}

TEST_F(StreamAccess, OpenRefusalKeepsTheDriversLastError) {
    ASSERT_NE(Activate(), nullptr);
    const std::size_t handles = ce::host::LiveHandleCount();
    for (DWORD error : {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND}) {
        Driver().openError = error;
        EXPECT_EQ(Open(L"TST1:"), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), error);
    }
    EXPECT_EQ(ce::host::LiveHandleCount(), handles);
}

TEST_F(StreamAccess, DeviceIoControlPassesBuffersAndResultThrough) {
    ASSERT_NE(Activate(), nullptr);
    HANDLE stream = Open(L"TST1:");
    ASSERT_NE(stream, INVALID_HANDLE_VALUE);

    std::array<char, 16> out{};
    DWORD actual = 0;
    EXPECT_TRUE(Echo(stream, "calibrate", out, actual));
    EXPECT_EQ(actual, 9u);
    EXPECT_EQ(std::string(out.data(), actual), "calibrate");

    EXPECT_FALSE(DeviceIoControl(stream, tst::kFailCode, nullptr, 0, nullptr, 0, nullptr, nullptr));

    const DWORD openContext = Driver().CallsOf(tst::Op::Open).at(0).returned;
    const std::vector<tst::Call> calls = Driver().CallsOf(tst::Op::IoControlBegin);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].context, openContext);
    EXPECT_EQ(calls[0].code, tst::kEchoCode);
    EXPECT_EQ(calls[1].code, tst::kFailCode);
    EXPECT_TRUE(CloseHandle(stream));
}

TEST_F(StreamAccess, DeviceIoControlRefusesHandlesThatAreNoStreams) {
    HANDLE device = Activate();
    ASSERT_NE(device, nullptr);
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE closed = Open(L"TST1:");
    ASSERT_TRUE(CloseHandle(closed));

    for (HANDLE handle : {event, device, closed, INVALID_HANDLE_VALUE, HANDLE{nullptr}}) {
        std::array<char, 16> out{};
        DWORD actual = 0;
        EXPECT_FALSE(Echo(handle, "x", out, actual));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    EXPECT_TRUE(Driver().CallsOf(tst::Op::IoControlBegin).empty());
    CloseHandle(event);
}

TEST_F(StreamAccess, CloseHandleCallsTheDriversCloseOnce) {
    ASSERT_NE(Activate(), nullptr);
    const std::size_t handles = ce::host::LiveHandleCount();
    HANDLE stream = Open(L"TST1:");
    ASSERT_NE(stream, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(stream));
    EXPECT_FALSE(CloseHandle(stream));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    const std::vector<tst::Call> closes = Driver().CallsOf(tst::Op::Close);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].context, Driver().CallsOf(tst::Op::Open).at(0).returned);
    EXPECT_EQ(ce::host::LiveHandleCount(), handles);
}

TEST_F(StreamAccess, HandlesOfADeactivatedDeviceFailWithoutReachingTheDriver) {
    HANDLE device = Activate();
    ASSERT_NE(device, nullptr);
    HANDLE stream = Open(L"TST1:");
    ASSERT_NE(stream, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(Deactivate(device));
    const std::size_t callsAtDeactivation = Driver().Calls().size();

    std::array<char, 16> out{};
    DWORD actual = 0;
    EXPECT_FALSE(Echo(stream, "late", out, actual));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Open(L"TST1:"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(CloseHandle(stream));

    EXPECT_EQ(Driver().Calls().size(), callsAtDeactivation);
    EXPECT_TRUE(Driver().CallsOf(tst::Op::Close).empty());
    EXPECT_EQ(Driver().CallsOf(tst::Op::Deinit).size(), 1u);
}

TEST_F(StreamAccess, DeactivationWaitsForACallInProgress) {
    HANDLE device = Activate();
    ASSERT_NE(device, nullptr);
    HANDLE busy = Open(L"TST1:");
    HANDLE idle = Open(L"TST1:");  // the test driver admits several opens
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    ASSERT_NE(idle, INVALID_HANDLE_VALUE);

    BOOL blockedResult = FALSE;
    std::thread caller([&] {
        blockedResult =
            DeviceIoControl(busy, tst::kBlockCode, nullptr, 0, nullptr, 0, nullptr, nullptr);
    });
    ASSERT_TRUE(Driver().WaitUntilBlocked());

    BOOL deactivated = FALSE;
    std::thread deactivator([&] { deactivated = Deactivate(device); });
    ASSERT_TRUE(WaitUntil([] { return ce::host::ListActiveDevices().empty(); }));

    // Deactivation has begun: new calls are refused, and Deinit waits for the busy call.
    std::array<char, 16> out{};
    DWORD actual = 0;
    EXPECT_FALSE(Echo(idle, "new", out, actual));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Open(L"TST1:"), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(Driver().CallsOf(tst::Op::Deinit).empty());

    Driver().ReleaseBlockedCalls();
    caller.join();
    deactivator.join();
    EXPECT_TRUE(blockedResult);
    EXPECT_TRUE(deactivated);

    const std::vector<tst::Call> calls = Driver().Calls();
    const auto position = [&](tst::Op op) {
        return std::ranges::find(calls, op, &tst::Call::op) - calls.begin();
    };
    ASSERT_LT(position(tst::Op::Deinit), static_cast<std::ptrdiff_t>(calls.size()));
    EXPECT_LT(position(tst::Op::IoControlEnd), position(tst::Op::Deinit));
    EXPECT_EQ(Driver().CallsOf(tst::Op::IoControlBegin).size(), 1u);

    EXPECT_TRUE(CloseHandle(busy));
    EXPECT_TRUE(CloseHandle(idle));
    EXPECT_TRUE(Driver().CallsOf(tst::Op::Close).empty());
}

}  // namespace
}  // namespace devmgr_test
