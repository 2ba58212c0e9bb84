#include "KeyGesture.h"

namespace vexlor {

KeyGesture::KeyGesture(QObject* parent)
    : QObject(parent)
{
}

void KeyGesture::setClock(Clock clock)
{
    m_rules = KeyPressRules(std::move(clock));
}

void KeyGesture::notifyPressed(bool before)
{
    if (before != m_rules.isPressed())
        emit pressedChanged();
}

void KeyGesture::contact()
{
    const bool before = m_rules.isPressed();
    m_rules.contact();
    notifyPressed(before);
}

void KeyGesture::release()
{
    const bool before = m_rules.isPressed();
    const auto outcome = m_rules.release();
    notifyPressed(before);
    if (outcome == KeyPressRules::Outcome::longPress)
        emit longPressed();
    else if (outcome == KeyPressRules::Outcome::action)
        emit tapped();
}

void KeyGesture::cancel()
{
    const bool before = m_rules.isPressed();
    m_rules.cancel();
    notifyPressed(before);
}

} // namespace vexlor
