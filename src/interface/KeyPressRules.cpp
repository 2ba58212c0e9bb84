#include "KeyPressRules.h"

#include <utility>

namespace vexlor {

namespace {
// Timestamps are doubles of about 1.7e9 s; differences built from them carry
// rounding of some 1e-7 s, which must not turn an exact 0.45 s into 0.4499999.
constexpr double tolerance = 1e-6;
}

KeyPressRules::KeyPressRules(Clock clock)
    : m_clock(std::move(clock))
{
}

void KeyPressRules::contact()
{
    m_pressed = true;
    if (!m_pressBegan)
        m_pressBegan = m_clock();
}

KeyPressRules::Outcome KeyPressRules::release()
{
    const Timestamp now = m_clock();
    m_pressed = false;
    if (m_pressBegan) {
        const double held = now - *m_pressBegan;
        m_pressBegan.reset();
        if (held >= longPressSeconds - tolerance)
            return Outcome::longPress;
    }
    if (now - m_lastTapAt < doubleTapSeconds - tolerance) {
        m_lastTapAt = Timestamp::distantPast();
        return Outcome::longPress;
    }
    m_lastTapAt = now;
    return Outcome::action;
}

void KeyPressRules::cancel()
{
    m_pressed = false;
    m_pressBegan.reset();
}

} // namespace vexlor
