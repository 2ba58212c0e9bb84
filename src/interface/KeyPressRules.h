#pragma once
// The press rules of one deck key, timed on release with no timer: a release
// after holding 0.45 s or more is a long press; otherwise it is a tap, and a
// tap less than 0.35 s after the previous tap is a double tap, which counts as
// a long press and forgets that previous tap.

#include "collection/Timestamp.h"

#include <optional>

namespace vexlor {

class KeyPressRules {
public:
    enum class Outcome { action, longPress };

    static constexpr double longPressSeconds = 0.45;
    static constexpr double doubleTapSeconds = 0.35;

    explicit KeyPressRules(Clock clock = systemClock());

    // The press gesture reported contact or a movement while held.
    void contact();
    // The button went up over the key.
    Outcome release();
    // The press ended without a release over the key (grab taken away).
    void cancel();

    [[nodiscard]] bool isPressed() const { return m_pressed; }
    [[nodiscard]] std::optional<Timestamp> pressBegan() const { return m_pressBegan; }
    [[nodiscard]] Timestamp lastTapAt() const { return m_lastTapAt; }

private:
    Clock m_clock;
    bool m_pressed = false;
    std::optional<Timestamp> m_pressBegan;
    Timestamp m_lastTapAt = Timestamp::distantPast();
};

} // namespace vexlor
