#pragma once
// Decides whether this run joins a fleet and builds its link. The broker URL
// comes from --broker, else the preference "FleetBroker", else
// $VEXLOR_BROKER; the host name from --host, else "FleetHostName", else the
// machine's short name. A configuration that cannot be used is reported on
// standard error and the run goes on without a fleet.

#include <QString>
#include <memory>
#include <optional>

namespace vexlor {

class FleetLink;
class PreferencesStore;

struct FleetChoice {
    std::optional<QString> broker; // --broker
    std::optional<QString> host;   // --host
};

// Null when no broker is configured or the configuration is refused.
[[nodiscard]] std::unique_ptr<FleetLink> makeFleetLink(const FleetChoice& choice, const PreferencesStore& preferences);

} // namespace vexlor
