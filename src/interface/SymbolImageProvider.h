#pragma once
// Draws the shipped symbol icons for QML: "image://symbol/NAME?RRGGBB" (or
// AARRGGBB) renders icons/NAME.svg with its currentColor in that colour.

#include <QQuickImageProvider>

namespace vexlor {

class SymbolImageProvider : public QQuickImageProvider {
public:
    SymbolImageProvider();
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

    // The SVG source of a symbol, or empty when the program ships none.
    [[nodiscard]] static QByteArray symbolSource(const QString& name);
};

} // namespace vexlor
