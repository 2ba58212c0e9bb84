#include "Breathing.h"

#include <QElapsedTimer>
#include <cmath>

namespace vexlor {

namespace {
qint64 sharedClockMs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
}
} // namespace

Breathing::Breathing(QObject* parent)
    : QObject(parent)
{
    m_timer.setInterval(kStepMs);
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Breathing::step);
}

qreal Breathing::valueAt(qint64 ms)
{
    const qint64 phase = ms % (2 * kHalfPeriodMs);
    const qreal x = phase < kHalfPeriodMs ? qreal(phase) / kHalfPeriodMs : 2 - qreal(phase) / kHalfPeriodMs;
    // Quadratic ease in and out.
    return x < 0.5 ? 2 * x * x : 1 - std::pow(-2 * x + 2, 2) / 2;
}

void Breathing::setRunning(bool running)
{
    if (running == m_timer.isActive())
        return;
    if (running) {
        m_timer.start();
        step();
    } else {
        m_timer.stop();
        setValue(0);
    }
    emit runningChanged();
}

void Breathing::step()
{
    setValue(valueAt(sharedClockMs()));
}

void Breathing::setValue(qreal value)
{
    if (qFuzzyCompare(value + 1, m_value + 1))
        return;
    m_value = value;
    emit valueChanged();
}

} // namespace vexlor
