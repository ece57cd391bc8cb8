// A USB function table that answers vendor transfers from a script of expected exchanges, in the
// manner of a recorded device: each transfer must match the next scripted one (setup packet,
// flags and, for a command, its bytes); a mismatch is reported with both sides as hex dumps, and
// the test checks at its end that nothing scripted was left over.
#pragma once

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

#include "ce/usbd.h"
#include "support/records.h"

namespace ots::test {

class ScriptedUsb {
  public:
    ScriptedUsb();
    ScriptedUsb(const ScriptedUsb&) = delete;
    ScriptedUsb& operator=(const ScriptedUsb&) = delete;

    LPCUSB_FUNCS funcs() const { return &funcs_; }
    // The device handle the table recognises itself by.
    USB_HANDLE handle() { return reinterpret_cast<USB_HANDLE>(this); }

    // The command is sent and the controller answers with reply.
    void ExpectCommand(const Bytes& command, const Bytes& reply);
    // The command is sent, and then the response transfer fails (the controller does not
    // answer).
    void ExpectCommandUnanswered(const Bytes& command);
    // The command transfer itself fails with a USB error (a stall); no response is read.
    void ExpectCommandStalled(const Bytes& command);

    // Runs at the start of every transfer, on the thread that issued it.
    void SetTransferHook(std::function<void()> hook) { hook_ = std::move(hook); }

    std::size_t TransfersSeen() const { return seen_; }
    // Adds a test failure naming every scripted transfer that did not happen.
    void ExpectAllConsumed() const;

  private:
    struct Transfer {
        bool out;            // a command, whose bytes are expected; else a response
        Bytes bytes;         // the command's bytes, or what the controller returns
        DWORD usbError = 0;  // the completed transfer's USB error
    };
    struct Completed {
        DWORD bytes = 0;
        DWORD usbError = 0;
    };

    static USB_TRANSFER Issue(USB_HANDLE hDevice, LPTRANSFER_NOTIFY_ROUTINE routine, LPVOID,
                              DWORD flags, LPCUSB_DEVICE_REQUEST request, LPVOID buffer, ULONG);
    static BOOL Status(USB_TRANSFER hTransfer, LPDWORD bytes, LPDWORD usbError);

    USB_FUNCS funcs_{};
    std::vector<Transfer> script_;
    std::size_t next_ = 0;
    std::size_t seen_ = 0;
    Completed completed_;
    std::function<void()> hook_;
};

}  // namespace ots::test
