#include "controllers.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "ce/host/devmgr_host.h"
#include "cectl/command_line.h"
#include "host_text.h"
#include "sim/recording_device.h"
#include "simulated_panels.h"

namespace ots::host {
namespace {

// Platform ms a controller gets beyond its script to hand every report over.
constexpr double kSettleMarginMs = 10000.0;

std::set<std::wstring> ActiveNames() {
    std::set<std::wstring> names;
    for (const ce::host::ActiveDevice& device : ce::host::ListActiveDevices()) {
        names.insert(device.name);
    }
    return names;
}

bool OnScreen(Point point, const SimulatedPanel& panel) {
    return point.xPx >= 0.0 && point.xPx <= panel.WidthPx() && point.yPx >= 0.0 &&
           point.yPx <= panel.HeightPx();
}

}  // namespace

std::uint32_t Controllers::FreeId() const {
    for (std::uint32_t id = 1; id <= ots::control::kMaxControllerId; ++id) {
        const bool taken = std::ranges::any_of(
            plugged_, [id](const Plugged& plugged) { return plugged.info.id == id; });
        if (!taken) {
            return id;
        }
    }
    return 0;
}

Controllers::Plugged* Controllers::Find(std::uint32_t id) {
    const auto found = std::ranges::find_if(
        plugged_, [id](const Plugged& plugged) { return plugged.info.id == id; });
    return found != plugged_.end() ? &*found : nullptr;
}

ControllerInfo Controllers::Describe(const Plugged& plugged) const {
    ControllerInfo info = plugged.info;
    const std::set<std::wstring> active = ActiveNames();
    info.active = !info.streamName.empty() &&
                  active.count(std::wstring(info.streamName.begin(), info.streamName.end())) != 0;
    info.note = ce::host::IsUsbDeviceClaimed(plugged.usbId) ? plugged.device->Note() : "unclaimed";
    return info;
}

std::variant<ControllerInfo, std::string> Controllers::Plug(ControllerKind kind,
                                                            const std::string& panel,
                                                            std::uint32_t id,
                                                            const std::string& replayText,
                                                            std::string recordPath) {
    std::lock_guard lock(mutex_);
    if (id == 0 && (id = FreeId()) == 0) {
        return std::string("every controller id is taken");
    }
    if (Find(id) != nullptr) {
        return "controller " + std::to_string(id) + " is plugged already";
    }
    const std::string panelName = panel.empty() ? DefaultPanelName(kind) : panel;
    std::shared_ptr<ots::sim::CameraNvm>& nvm = nvms_[id];
    if (!nvm) {
        nvm = std::make_shared<ots::sim::CameraNvm>();
    }
    auto made = kind == ControllerKind::Replay ? MakeReplayPanel(replayText)
                                               : MakeSimulatedPanel(kind, panelName, nvm);
    if (auto* error = std::get_if<std::string>(&made)) {
        return *error;
    }
    Plugged plugged;
    plugged.info = {id, kind, panelName, {}, false, {}, {}};
    plugged.device = std::move(std::get<std::unique_ptr<SimulatedPanel>>(made));
    plugged.model = plugged.device->Model();
    if (recordPath.empty() && !recordInto_.empty()) {
        recordPath =
            recorded_ == 0 ? recordInto_ : recordInto_ + "." + std::to_string(recorded_ + 1);
        ++recorded_;
    }
    if (!recordPath.empty()) {
        std::string error;
        plugged.model = ots::sim::RecordingDevice::Open(plugged.model, recordPath, &error);
        if (!plugged.model) {
            return error;
        }
        plugged.info.recording = recordPath;
    }
    // Attach activates the stream device before it returns: the new name is this one's.
    const std::set<std::wstring> before = ActiveNames();
    plugged.usbId = ce::host::PlugUsbDevice(plugged.model);
    for (const std::wstring& name : ActiveNames()) {
        if (before.count(name) == 0) {
            plugged.info.streamName = Narrow(name);
        }
    }
    plugged_.push_back(std::move(plugged));
    return Describe(plugged_.back());
}

std::variant<ControllerInfo, std::string> Controllers::Unplug(std::uint32_t id) {
    std::lock_guard lock(mutex_);
    Plugged* plugged = Find(id);
    if (plugged == nullptr) {
        return "no controller " + std::to_string(id) + " is plugged";
    }
    ControllerInfo info = Describe(*plugged);
    ce::host::UnplugUsbDevice(plugged->usbId);
    std::erase_if(plugged_, [id](const Plugged& entry) { return entry.info.id == id; });
    info.active = false;
    return info;
}

std::vector<ControllerInfo> Controllers::List() const {
    std::lock_guard lock(mutex_);
    std::vector<ControllerInfo> list;
    for (const Plugged& plugged : plugged_) {
        list.push_back(Describe(plugged));
    }
    return list;
}

std::optional<std::string> Controllers::Stroke(std::uint32_t id, const std::vector<Point>& points,
                                               double moveMs, double holdMs) {
    std::lock_guard lock(mutex_);
    Plugged* plugged = id == 0 ? (plugged_.empty() ? nullptr : &plugged_.front()) : Find(id);
    if (plugged == nullptr) {
        return id == 0 ? std::string("no controller is plugged")
                       : "no controller " + std::to_string(id) + " is plugged";
    }
    SimulatedPanel& panel = *plugged->device;
    if (!panel.TakesTouches()) {
        return "controller " + std::to_string(plugged->info.id) +
               " plays a recording back and takes no touches";
    }
    for (const Point& point : points) {
        if (!OnScreen(point, panel)) {
            return "the position " + FormatPosition(point.xPx, point.yPx) + " is off the " +
                   std::to_string(panel.WidthPx()) + " x " + std::to_string(panel.HeightPx()) +
                   " screen";
        }
    }
    if (points.empty()) {
        return std::string("a stroke needs a point");
    }
    double length = 0.0;
    for (std::size_t i = 1; i < points.size(); ++i) {
        length += std::hypot(points[i].xPx - points[i - 1].xPx, points[i].yPx - points[i - 1].yPx);
    }
    panel.Down(points.front());
    if (holdMs > 0.0) {
        panel.Hold(holdMs);
    }
    for (std::size_t i = 1; i < points.size(); ++i) {
        const double segment =
            std::hypot(points[i].xPx - points[i - 1].xPx, points[i].yPx - points[i - 1].yPx);
        const double share =
            length > 0.0 ? segment / length : 1.0 / static_cast<double>(points.size() - 1);
        panel.MoveTo(points[i], moveMs * share);
    }
    panel.Up();
    if (!panel.Settle(static_cast<DWORD>(moveMs + holdMs + kSettleMarginMs))) {
        return "controller " + std::to_string(plugged->info.id) +
               " did not hand its reports over in time";
    }
    return std::nullopt;
}

void Controllers::UnplugAll() {
    std::lock_guard lock(mutex_);
    for (const Plugged& plugged : plugged_) {
        ce::host::UnplugUsbDevice(plugged.usbId);
    }
    plugged_.clear();
}

}  // namespace ots::host
