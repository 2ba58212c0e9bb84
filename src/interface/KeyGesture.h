#pragma once
// KeyPressRules for QML: a key's MouseArea reports contact, release and
// cancel, and the gesture answers with tapped() or longPressed().

#include "KeyPressRules.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace vexlor {

class KeyGesture : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool pressed READ pressed NOTIFY pressedChanged)

public:
    explicit KeyGesture(QObject* parent = nullptr);

    [[nodiscard]] bool pressed() const { return m_rules.isPressed(); }
    // Tests drive time through this.
    void setClock(Clock clock);

    Q_INVOKABLE void contact();
    Q_INVOKABLE void release();
    Q_INVOKABLE void cancel();

signals:
    void pressedChanged();
    void tapped();
    void longPressed();

private:
    void notifyPressed(bool before);
    KeyPressRules m_rules;
};

} // namespace vexlor
