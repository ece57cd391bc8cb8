// The simulated controllers cectl can plug, by kind and panel name.
#pragma once

#include <memory>
#include <string>
#include <variant>

#include "controllers.h"

namespace ots::host {

// Coordinate panels: "ideal" (default), "mounted". Camera panels: "realistic" (default),
// "mounted", "defaults". A camera keeps its records in nvm. The panel, or why there is none.
std::variant<std::unique_ptr<SimulatedPanel>, std::string> MakeSimulatedPanel(
    ControllerKind kind, const std::string& panelName, std::shared_ptr<ots::sim::CameraNvm> nvm);

// A controller that plays recordingText back (sim/replay_device.h); or what is wrong with the
// recording.
std::variant<std::unique_ptr<SimulatedPanel>, std::string> MakeReplayPanel(
    const std::string& recordingText);

// The panel name an empty --panel stands for.
std::string DefaultPanelName(ControllerKind kind);

}  // namespace ots::host
