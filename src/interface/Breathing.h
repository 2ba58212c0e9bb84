#pragma once
// The slow in-and-out of a status dot, stepped by a low-rate timer instead of
// the animation driver: each step is one small repaint, about 20 a second,
// and nothing ticks while it is not running.
//
// `value` runs 0 -> 1 -> 0 in 1.8 s (0.9 s each way, eased in and out) while
// `running`, and rests at 0 otherwise. Every instance follows the same clock,
// so dots that breathe together stay in step.

#include <QObject>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

namespace vexlor {

class Breathing : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool running READ running WRITE setRunning NOTIFY runningChanged)
    Q_PROPERTY(qreal value READ value NOTIFY valueChanged)

public:
    static constexpr int kStepMs = 50;
    static constexpr qint64 kHalfPeriodMs = 900;

    explicit Breathing(QObject* parent = nullptr);

    [[nodiscard]] bool running() const { return m_timer.isActive(); }
    void setRunning(bool running);
    [[nodiscard]] qreal value() const { return m_value; }

    // The eased value at `ms` on the shared clock.
    [[nodiscard]] static qreal valueAt(qint64 ms);

signals:
    void runningChanged();
    void valueChanged();

private:
    void step();
    void setValue(qreal value);

    QTimer m_timer;
    qreal m_value = 0;
};

} // namespace vexlor
