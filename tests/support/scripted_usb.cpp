#include "support/scripted_usb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace ots::test {

namespace {

constexpr DWORD kStall = 0x04;
constexpr DWORD kNotResponding = 0x05;

// The setup packet, the flags and, for a command (request type 40), its bytes.
std::string Text(const USB_DEVICE_REQUEST& r, DWORD flags, const std::uint8_t* data) {
    char setup[64];
    std::snprintf(setup, sizeof setup, "setup %02X %02X %04X %04X %04X flags 0x%X", r.bmRequestType,
                  r.bRequest, r.wValue, r.wIndex, r.wLength, flags);
    const bool command = r.bmRequestType == 0x40 && data != nullptr;
    return setup + (command ? " data " + HexDump(data, r.wLength) : std::string());
}

}  // namespace

ScriptedUsb::ScriptedUsb() {
    funcs_.dwCount = sizeof(USB_FUNCS);
    funcs_.lpIssueVendorTransfer = &Issue;
    funcs_.lpGetTransferStatus = &Status;
    funcs_.lpCloseTransfer = [](USB_TRANSFER) -> BOOL { return TRUE; };
}

void ScriptedUsb::ExpectCommand(const Bytes& command, const Bytes& reply) {
    script_.push_back({true, command});
    script_.push_back({false, reply});
}

void ScriptedUsb::ExpectCommandUnanswered(const Bytes& command) {
    script_.push_back({true, command});
    script_.push_back({false, {}, kNotResponding});
}

void ScriptedUsb::ExpectCommandStalled(const Bytes& command) {
    script_.push_back({true, command, kStall});
}

void ScriptedUsb::ExpectAllConsumed() const {
    for (std::size_t i = next_; i < script_.size(); ++i) {
        ADD_FAILURE() << "scripted transfer #" << i
                      << " never happened: " << (script_[i].out ? "OUT " : "IN -> ")
                      << HexDump(script_[i].bytes);
    }
}

USB_TRANSFER ScriptedUsb::Issue(USB_HANDLE hDevice, LPTRANSFER_NOTIFY_ROUTINE routine, LPVOID,
                                DWORD flags, LPCUSB_DEVICE_REQUEST request, LPVOID buffer, ULONG) {
    auto* self = reinterpret_cast<ScriptedUsb*>(hDevice);
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    if (self->hook_) {
        self->hook_();
    }
    const std::size_t number = self->seen_++;
    const std::string got = Text(*request, flags, bytes);
    if (self->next_ == self->script_.size()) {
        ADD_FAILURE() << "transfer #" << number << " not in the script: " << got;
        return nullptr;
    }
    const Transfer& want = self->script_[self->next_++];
    EXPECT_EQ(routine, nullptr) << "vendor transfers are synchronous";
    // Commands go out with short transfers allowed; responses come in 64 bytes at a time.
    const USB_DEVICE_REQUEST setup{static_cast<BYTE>(want.out ? 0x40 : 0xC0), 0, 0, 0,
                                   static_cast<WORD>(want.out ? want.bytes.size() : 64)};
    const std::string wanted = Text(setup, want.out ? 0x200 : 0x280, want.bytes.data());
    if (got != wanted || bytes == nullptr) {
        ADD_FAILURE() << "transfer #" << number << " differs\n  expected: " << wanted
                      << "\n  got:      " << got;
        return nullptr;
    }
    if (!want.out) {
        std::copy(want.bytes.begin(), want.bytes.end(), bytes);
    }
    self->completed_ = {static_cast<DWORD>(want.bytes.size()), want.usbError};
    return reinterpret_cast<USB_TRANSFER>(&self->completed_);
}

BOOL ScriptedUsb::Status(USB_TRANSFER hTransfer, LPDWORD bytes, LPDWORD usbError) {
    const auto* completed = reinterpret_cast<const Completed*>(hTransfer);
    *bytes = completed->bytes;
    *usbError = completed->usbError;
    return TRUE;
}

}  // namespace ots::test
