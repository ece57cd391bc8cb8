// The simulated controllers a host has plugged into its USB bus, by the ids cectl uses.
// A camera controller's non-volatile memory belongs to its id: plugged again under the same
// id within one host run, it finds what it stored before.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "ce/host/usb_host.h"
#include "cectl/control_request.h"
#include "sim/camera_nvm.h"

namespace ots::host {

using ots::control::ControllerKind;
using ots::control::Point;

// A plugged controller as the touch commands drive it (screen pixels, platform ms).
class SimulatedPanel {
  public:
    virtual ~SimulatedPanel() = default;
    virtual std::shared_ptr<ce::host::UsbDeviceModel> Model() = 0;
    virtual void Down(Point at) = 0;
    virtual void MoveTo(Point to, double durationMs) = 0;
    virtual void Hold(double durationMs) = 0;
    virtual void Up() = 0;
    virtual bool Settle(DWORD platformTimeoutMs) = 0;
    virtual int WidthPx() const = 0;
    virtual int HeightPx() const = 0;
    virtual std::string Note() const { return {}; }  // shown by list
    virtual bool TakesTouches() const { return true; }
};

struct ControllerInfo {
    std::uint32_t id = 0;
    ControllerKind kind = ControllerKind::None;
    std::string panel;
    std::string streamName;  // "OTS1:"; empty when no stream device came with it
    bool active = false;     // its stream device is still there
    std::string note;
    std::string recording;  // where its traffic is recorded; empty: nowhere
};

class Controllers {
  public:
    // recordInto: cehost --record FILE; every controller plugged is recorded, the first into
    // FILE, the n-th into FILE.n. Empty: only those plugged with a recording of their own.
    explicit Controllers(std::string recordInto = {}) : recordInto_(std::move(recordInto)) {}
    ~Controllers() { UnplugAll(); }
    Controllers(const Controllers&) = delete;
    Controllers& operator=(const Controllers&) = delete;

    // Plugs a controller under the id (0: the lowest free one); what was plugged, or why not.
    // A Replay controller plays back replayText; recordPath records this one's traffic.
    std::variant<ControllerInfo, std::string> Plug(ControllerKind kind, const std::string& panel,
                                                   std::uint32_t id,
                                                   const std::string& replayText = {},
                                                   std::string recordPath = {});
    // What was unplugged, or why not.
    std::variant<ControllerInfo, std::string> Unplug(std::uint32_t id);
    // In plugging order.
    std::vector<ControllerInfo> List() const;
    // One stroke on the controller (0: the first one plugged): the finger comes down on the
    // first point, stays holdMs, passes through the others in moveMs (shared out by length)
    // and lifts; returns once the driver has taken every report. The error, if any.
    std::optional<std::string> Stroke(std::uint32_t id, const std::vector<Point>& points,
                                      double moveMs, double holdMs);
    // Unplugs everything, in plugging order.
    void UnplugAll();

  private:
    struct Plugged {
        ControllerInfo info;
        std::unique_ptr<SimulatedPanel> device;
        std::shared_ptr<ce::host::UsbDeviceModel> model;  // the device's, or its recorder
        ce::host::UsbDeviceId usbId = ce::host::kNoUsbDevice;
    };

    ControllerInfo Describe(const Plugged& plugged) const;
    Plugged* Find(std::uint32_t id);
    std::uint32_t FreeId() const;

    mutable std::mutex mutex_;
    std::vector<Plugged> plugged_;
    std::map<std::uint32_t, std::shared_ptr<ots::sim::CameraNvm>> nvms_;
    const std::string recordInto_;
    unsigned recorded_ = 0;  // controllers recorded into recordInto_
};

}  // namespace ots::host
