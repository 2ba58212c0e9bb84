#include "SymbolImageProvider.h"

#include <QColor>
#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

namespace vexlor {

SymbolImageProvider::SymbolImageProvider()
    : QQuickImageProvider(QQuickImageProvider::Image)
{
}

QByteArray SymbolImageProvider::symbolSource(const QString& name)
{
    // Names are symbol names such as "chevron.left"; nothing else may reach
    // the resource path.
    for (const QChar c : name) {
        if (!(c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('_')))
            return {};
    }
    QFile file(QStringLiteral(":/Vexlor/icons/") + name + QStringLiteral(".svg"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QImage SymbolImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize)
{
    const qsizetype mark = id.indexOf(QLatin1Char('?'));
    const QString name = mark < 0 ? id : id.left(mark);
    QColor color(Qt::white);
    if (mark >= 0) {
        const QColor parsed(QLatin1Char('#') + id.mid(mark + 1));
        if (parsed.isValid())
            color = parsed;
    }
    const QSize target = requestedSize.isValid() ? requestedSize : QSize(24, 24);
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    QByteArray source = symbolSource(name);
    if (!source.isEmpty()) {
        // Opacity travels separately so the SVG sees a plain colour.
        const QByteArray rgb = QColor(color.red(), color.green(), color.blue()).name().toLatin1();
        source.replace("currentColor", rgb);
        QSvgRenderer renderer(source);
        QPainter painter(&image);
        painter.setOpacity(color.alphaF());
        renderer.render(&painter);
    }
    if (size)
        *size = target;
    return image;
}

} // namespace vexlor
