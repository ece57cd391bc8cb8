// Handles given to a client are checked: stale or foreign ones are refused, never followed.
#include <array>

#include "ce/kernel.h"
#include "usb/usb_fixture.h"

namespace usbtest {
namespace {

template <class Handle>
Handle Forged(std::uintptr_t value) {
    return reinterpret_cast<Handle>(value);
}

TEST_F(AttachedDeviceTest, ForeignHandlesAreRefused) {
    std::array<BYTE, kReportSize> buffer{};
    const USB_TRANSFER transfer = IssueIn(buffer.data(), kReportSize, nullptr);
    ASSERT_NE(transfer, nullptr);
    DWORD bytes = 0;
    DWORD error = 0;

    // A handle of one kind passed as another.
    EXPECT_FALSE(funcs_->lpGetTransferStatus(
        Forged<USB_TRANSFER>(reinterpret_cast<std::uintptr_t>(pipe_)), &bytes, &error));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(funcs_->lpIssueInterruptTransfer(
                  Forged<USB_PIPE>(reinterpret_cast<std::uintptr_t>(attach_.device)), nullptr,
                  nullptr, USB_IN_TRANSFER, kReportSize, buffer.data(), 0),
              nullptr);
    EXPECT_EQ(
        funcs_->lpGetDeviceInfo(Forged<USB_HANDLE>(reinterpret_cast<std::uintptr_t>(transfer))),
        nullptr);

    // Values that were never handles.
    for (std::uintptr_t value :
         {std::uintptr_t{0}, std::uintptr_t{1}, std::uintptr_t{0x7FFF1234ABCD},
          reinterpret_cast<std::uintptr_t>(&buffer)}) {
        EXPECT_FALSE(funcs_->lpIsTransferComplete(Forged<USB_TRANSFER>(value)));
        EXPECT_FALSE(funcs_->lpAbortTransfer(Forged<USB_TRANSFER>(value), 0));
        EXPECT_FALSE(funcs_->lpCloseTransfer(Forged<USB_TRANSFER>(value)));
        EXPECT_FALSE(funcs_->lpResetPipe(Forged<USB_PIPE>(value)));
        EXPECT_FALSE(funcs_->lpAbortPipeTransfers(Forged<USB_PIPE>(value), 0));
        EXPECT_EQ(funcs_->lpOpenPipe(Forged<USB_HANDLE>(value),
                                     &attach_.interface->lpEndpoints[1].Descriptor),
                  nullptr);
    }
    funcs_->lpCloseTransfer(transfer);
}

TEST_F(AttachedDeviceTest, ClosedTransferHandleIsStale) {
    std::array<BYTE, kReportSize> buffer{};
    const USB_TRANSFER transfer = IssueIn(buffer.data(), kReportSize, nullptr);
    ASSERT_TRUE(funcs_->lpCloseTransfer(transfer));

    EXPECT_FALSE(funcs_->lpCloseTransfer(transfer));
    EXPECT_FALSE(funcs_->lpIsTransferComplete(transfer));
    EXPECT_FALSE(funcs_->lpAbortTransfer(transfer, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(AttachedDeviceTest, HandleOfAClosedTransferStaysStaleWhenItsSlotIsReused) {
    std::array<BYTE, kReportSize> buffer{};
    const USB_TRANSFER closed = IssueIn(buffer.data(), kReportSize, nullptr);
    ASSERT_TRUE(funcs_->lpCloseTransfer(closed));

    const USB_TRANSFER reused = IssueIn(buffer.data(), kReportSize, nullptr);
    ASSERT_NE(reused, nullptr);
    EXPECT_NE(reused, closed);
    EXPECT_FALSE(funcs_->lpAbortTransfer(closed, 0));
    EXPECT_FALSE(funcs_->lpIsTransferComplete(reused));  // not aborted through the stale handle
    ASSERT_TRUE(Send({1}));
    EXPECT_EQ(StatusOf(reused).error, USB_NO_ERROR);
    funcs_->lpCloseTransfer(reused);
}

TEST_F(AttachedDeviceTest, PipeCallsRefuseMissingArguments) {
    EXPECT_FALSE(funcs_->lpIsPipeHalted(pipe_, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(funcs_->lpOpenPipe(attach_.device, nullptr), nullptr);
    const USB_ENDPOINT_DESCRIPTOR absent = Endpoint(0x85, 0x03, 8);
    EXPECT_EQ(funcs_->lpOpenPipe(attach_.device, &absent), nullptr);
    EXPECT_EQ(IssueIn(nullptr, kReportSize, nullptr), nullptr);
}

}  // namespace
}  // namespace usbtest
