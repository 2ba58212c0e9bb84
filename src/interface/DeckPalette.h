#pragma once
// The interface's fixed colours and the figures' font, shared by every key content, card and the
// information bar, and the colour of an agent's status.

#include <QColor>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace vexlor {

class DeckPalette : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QColor workingGreen MEMBER workingGreen CONSTANT)
    Q_PROPERTY(QColor attentionAmber MEMBER attentionAmber CONSTANT)
    Q_PROPERTY(QColor mutedGrey MEMBER mutedGrey CONSTANT)
    Q_PROPERTY(QColor offlineGrey MEMBER offlineGrey CONSTANT)
    Q_PROPERTY(QColor overviewBlue MEMBER overviewBlue CONSTANT)
    Q_PROPERTY(QColor infoViolet MEMBER infoViolet CONSTANT)
    Q_PROPERTY(QColor quitRed MEMBER quitRed CONSTANT)
    // Figures use DejaVu Sans: its digits share one width, so counters and
    // countdowns do not jitter as they change.
    Q_PROPERTY(QString figureFont MEMBER figureFont CONSTANT)

public:
    using QObject::QObject;

    QColor workingGreen = QColor::fromRgbF(0.22f, 0.87f, 0.45f);
    QColor attentionAmber = QColor::fromRgbF(1.00f, 0.72f, 0.10f);
    QColor mutedGrey = QColor::fromRgbF(0.62f, 0.62f, 0.62f);
    QColor offlineGrey = QColor::fromRgbF(0.35f, 0.35f, 0.35f);
    QColor overviewBlue = QColor::fromRgbF(0.35f, 0.78f, 0.98f);
    QColor infoViolet = QColor::fromRgbF(0.72f, 0.60f, 0.99f);
    QColor quitRed = QColor::fromRgbF(1.0f, 0.42f, 0.38f);
    QString figureFont = QStringLiteral("DejaVu Sans");

    // "working", "needsYou", "idle", anything else (offline).
    Q_INVOKABLE [[nodiscard]] QColor statusColor(const QString& status) const
    {
        if (status == QLatin1String("working"))
            return workingGreen;
        if (status == QLatin1String("needsYou"))
            return attentionAmber;
        if (status == QLatin1String("idle"))
            return mutedGrey;
        return offlineGrey;
    }
    // A session row's dot: "attention", "working", or idle.
    Q_INVOKABLE [[nodiscard]] QColor sessionColor(const QString& state) const
    {
        if (state == QLatin1String("attention"))
            return attentionAmber;
        if (state == QLatin1String("working"))
            return workingGreen;
        return mutedGrey;
    }
};

} // namespace vexlor
