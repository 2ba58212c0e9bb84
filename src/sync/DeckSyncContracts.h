#pragma once
// The two faces of deck sync: the hub publishes a snapshot after each pass;
// a reader subscribes to snapshots that arrive from another device.

#include "DeckSnapshot.h"

#include <functional>
#include <optional>

namespace vexlor {

class DeckSyncPublishing {
public:
    virtual ~DeckSyncPublishing() = default;
    // Main thread; returns at once and never fails.
    virtual void publish(const DeckSnapshot& snapshot) = 0;
};

class DeckSyncSubscribing {
public:
    using ChangeHandler = std::function<void(const DeckSnapshot&)>;

    virtual ~DeckSyncSubscribing() = default;
    // Capture time of the last snapshot handed to the change handler.
    [[nodiscard]] virtual std::optional<Timestamp> lastReceivedAt() const = 0;
    [[nodiscard]] virtual const ChangeHandler& onChange() const = 0;
    virtual void setOnChange(ChangeHandler handler) = 0;
    // Reads the stored snapshot and hands it to the change handler when it is
    // readable, of a version this build speaks, and newer than the last one.
    virtual void fetch() = 0;
};

} // namespace vexlor
