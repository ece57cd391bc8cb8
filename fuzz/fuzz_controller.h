// A live device context for the driver's fuzz targets: signed and in the context table, open,
// with its records and work area, on the tests' fake USB function table, whose vendor transfers
// the input answers. Nothing in it needs a device, a thread or a socket.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/device_context.h"
#include "support/fake_usb.h"
#include "touch/touch_data.h"

namespace fuzz {

// Answers one vendor IN transfer: the USB error to complete with and, for an answer, its packet.
using VendorSource = std::function<ots::test::VendorAnswer()>;
inline const ots::test::VendorAnswer kSilent{0x05, {}};  // a transfer nobody answered

class FuzzController {
  public:
    explicit FuzzController(bool camera);
    ~FuzzController();
    FuzzController(const FuzzController&) = delete;
    FuzzController& operator=(const FuzzController&) = delete;

    DEVICE_CONTEXT& ctx() { return context_; }
    void SetVendorSource(VendorSource source) { source_ = std::move(source); }
    // Each vendor IN transfer from here on is answered from the input: a byte says whether the
    // controller answers; if so, a whole packet of input bytes, unframed. Used up, it is silent.
    void AnswerFromInput(FuzzedDataProvider& input);

    // The records the input chooses: DriverConfig, and for a coordinate controller its
    // DeviceConfig and both calibration records, as a registry load would leave them.
    void LoadRecords(FuzzedDataProvider& input);
    // Initialises the controller as attach does; a camera controller's six blocks are answered
    // in well-formed frames around bytes from the input.
    void Initialise(FuzzedDataProvider& input);

  private:
    bool camera_;
    ots::test::FakeUsb usb_;
    DEVICE_CONTEXT context_{};
    TOUCH_DATA touch_{};
    VendorSource source_;
    std::array<BYTE, 5> lastCommand_{};  // header of the last command sent
};

// Runs every fuzz target on the scaled clock so the driver's command pauses take no time.
void FastClock();

// The rest of an input as a sequence of reports: a length byte (up to maxLength) and that many
// bytes, each report in a buffer of exactly its length so a read past it is caught.
void FeedReports(FuzzedDataProvider& input, DEVICE_CONTEXT& device, DWORD maxLength);

// A whole report target: records and initialisation from the input, then its reports.
int FuzzReports(const std::uint8_t* data, std::size_t size, bool camera);

}  // namespace fuzz
