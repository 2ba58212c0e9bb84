#pragma once
// Decides whether this run joins a fleet and builds it. Through a broker:
// the URL comes from --broker, else the preference "FleetBroker", else
// $VEXLOR_BROKER; the host name from --host, else "FleetHostName", else the
// machine's short name. Without a broker, a run given --host whose
// $VEXLOR_KVS_DIR names a folder joins the fleet kept in that folder (which a
// file-sync tool shares between machines). A configuration that cannot be
// used is reported on standard error and the run goes on without a fleet.

#include <QString>
#include <memory>
#include <optional>

namespace vexlor {

class FleetSource;
class PreferencesStore;

struct FleetChoice {
    std::optional<QString> broker; // --broker
    std::optional<QString> host;   // --host
};

// Null when no fleet is configured or the configuration is refused. The
// fleet is not started yet.
[[nodiscard]] std::unique_ptr<FleetSource> makeFleet(const FleetChoice& choice, const PreferencesStore& preferences);

} // namespace vexlor
