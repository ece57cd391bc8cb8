#include "support/scripted_usb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace ots::test {

namespace {

constexpr std::size_t kPacketSize = 64;
constexpr DWORD kOutFlags = 0x200;  // short transfer OK
constexpr DWORD kInFlags = 0x280;   // IN, short transfer OK
constexpr std::uint8_t kOutRequestType = 0x40;
constexpr std::uint8_t kInRequestType = 0xC0;
constexpr DWORD kStall = 0x04;
constexpr DWORD kNotResponding = 0x05;

std::string SetupText(const USB_DEVICE_REQUEST& r, DWORD flags) {
    char text[96];
    std::snprintf(text, sizeof text, "setup %02X %02X %04X %04X %04X flags 0x%X", r.bmRequestType,
                  r.bRequest, r.wValue, r.wIndex, r.wLength, flags);
    return text;
}

}  // namespace

ScriptedUsb::ScriptedUsb() {
    funcs_.dwCount = sizeof(USB_FUNCS);
    funcs_.lpIssueVendorTransfer = &ScriptedUsb::IssueVendorTransfer;
    funcs_.lpGetTransferStatus = &ScriptedUsb::GetTransferStatus;
    funcs_.lpCloseTransfer = &ScriptedUsb::CloseTransfer;
}

void ScriptedUsb::ExpectCommand(const Bytes& command, const Bytes& reply) {
    script_.push_back({Direction::Out, command, {}, 0});
    script_.push_back({Direction::In, {}, reply, 0});
}

void ScriptedUsb::ExpectCommandUnanswered(const Bytes& command) {
    script_.push_back({Direction::Out, command, {}, 0});
    script_.push_back({Direction::In, {}, {}, kNotResponding});
}

void ScriptedUsb::ExpectCommandStalled(const Bytes& command) {
    script_.push_back({Direction::Out, command, {}, kStall});
}

void ScriptedUsb::ExpectAllConsumed() const {
    for (std::size_t i = next_; i < script_.size(); ++i) {
        ADD_FAILURE() << "scripted transfer #" << i << " never happened: " << Describe(script_[i]);
    }
}

std::string ScriptedUsb::Describe(const Transfer& t) const {
    if (t.direction == Direction::Out) {
        return "OUT " + HexDump(t.command.data(), t.command.size());
    }
    return t.reply.empty() ? std::string("IN (no answer)")
                           : "IN -> " + HexDump(t.reply.data(), t.reply.size());
}

USB_TRANSFER ScriptedUsb::OnTransfer(LPTRANSFER_NOTIFY_ROUTINE routine, DWORD flags,
                                     const USB_DEVICE_REQUEST& request, std::uint8_t* buffer) {
    if (hook_) {
        hook_();
    }
    const std::size_t number = seen_++;
    const bool out = request.bmRequestType == kOutRequestType;
    const std::string got =
        SetupText(request, flags) +
        (out && buffer != nullptr ? " data " + HexDump(buffer, request.wLength) : "");
    if (next_ == script_.size()) {
        ADD_FAILURE() << "transfer #" << number << " not in the script: " << got;
        return nullptr;
    }
    const Transfer& expected = script_[next_++];
    EXPECT_EQ(routine, nullptr) << "vendor transfers are synchronous";
    // Both sides as text: the setup packet, the flags and, for a command, its bytes.
    const bool command = expected.direction == Direction::Out;
    const USB_DEVICE_REQUEST wanted{
        command ? kOutRequestType : kInRequestType, 0, 0, 0,
        static_cast<WORD>(command ? expected.command.size() : kPacketSize)};
    const std::string want = SetupText(wanted, command ? kOutFlags : kInFlags) +
                             (command ? " data " + HexDump(expected.command) : "");
    if (got != want || buffer == nullptr) {
        ADD_FAILURE() << "transfer #" << number << " differs\n  expected: " << want
                      << "\n  got:      " << got;
        return nullptr;
    }
    std::copy(expected.reply.begin(), expected.reply.end(), buffer);
    completed_ = {static_cast<DWORD>(command ? expected.command.size() : expected.reply.size()),
                  expected.usbError};
    return reinterpret_cast<USB_TRANSFER>(&completed_);
}

USB_TRANSFER ScriptedUsb::IssueVendorTransfer(USB_HANDLE hDevice, LPTRANSFER_NOTIFY_ROUTINE routine,
                                              LPVOID, DWORD flags, LPCUSB_DEVICE_REQUEST request,
                                              LPVOID buffer, ULONG) {
    auto* self = reinterpret_cast<ScriptedUsb*>(hDevice);
    return self->OnTransfer(routine, flags, *request, static_cast<std::uint8_t*>(buffer));
}

BOOL ScriptedUsb::GetTransferStatus(USB_TRANSFER hTransfer, LPDWORD bytes, LPDWORD usbError) {
    const auto* completed = reinterpret_cast<const Completed*>(hTransfer);
    *bytes = completed->bytes;
    *usbError = completed->usbError;
    return TRUE;
}

BOOL ScriptedUsb::CloseTransfer(USB_TRANSFER) {
    return TRUE;
}

}  // namespace ots::test
