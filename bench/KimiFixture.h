#pragma once
// The synthetic Kimi Code home the benchmarks share: 50 sessions, each with a
// state file and a wire log of about 4 MB spanning the last 10 days.

#include "BenchSupport.h"
#include "fixtures/Fixtures.h"

#include <cmath>

#include <QDateTime>

namespace vexlor::bench {

// One usage record of a wire log; `n` varies the counts.
inline QByteArray kimiUsageRecord(double timeMs, int n)
{
    return fixtures::kimiUsage(std::round(timeMs), n % 900 + 100, n % 300, n % 5000, 12);
}

// Writes the home into `dir`; returns the wire log of one session for a
// benchmark to append to.
inline QString writeKimiHome(const QString& dir, double nowMs)
{
    fixtures::KimiHome home{dir, {}};
    const QByteArray filler = QByteArray("lorem ipsum dolor sit amet ").repeated(28);
    QString appended;
    for (int s = 0; s < 50; ++s) {
        const QString id = QStringLiteral("session-%1-0000-4000-8000-000000000000").arg(s, 4, 10, QChar(u'0'));
        const QByteArray updated =
            QDateTime::fromMSecsSinceEpoch(qint64(nowMs) - s * 60000, Qt::UTC).toString(Qt::ISODateWithMs).toUtf8();
        const QByteArray state = "{\"updatedAt\":\"" + updated + "\",\"title\":\"Session " + QByteArray::number(s)
            + "\",\"lastPrompt\":\"Refactor the parser\",\"workDir\":\"/home/u/p" + QByteArray::number(s) + "\"}";
        QByteArray wire;
        wire.reserve(4 * 1024 * 1024 + 4096);
        int n = 0;
        while (wire.size() < 4 * 1024 * 1024) {
            const double t = nowMs - (10.0 * 86400000.0) * (1.0 - double(wire.size()) / (4 * 1024 * 1024));
            if (n % 8 == 7)
                wire += kimiUsageRecord(t, n);
            else
                wire += "{\"type\":\"message.part\",\"time\":" + QByteArray::number(t, 'f', 0) + ",\"text\":\"" + filler + "\"}\n";
            ++n;
        }
        if (!home.addSession(id, state, wire))
            qFatal("cannot write the Kimi home in %s", qPrintable(dir));
        if (s == 7)
            appended = home.wirePath(id);
    }
    return appended;
}

} // namespace vexlor::bench
