#include "TextPrefix.h"

#include <QTextBoundaryFinder>

namespace vexlor {

QString leadingCharacters(const QString& text, qsizetype count)
{
    if (count <= 0)
        return {};
    if (text.size() <= count)
        return text; // never more clusters than code units
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype seen = 0;
    qsizetype position = text.size();
    while (seen < count) {
        const qsizetype next = finder.toNextBoundary();
        if (next == -1)
            break;
        ++seen;
        position = next;
    }
    return text.left(position);
}

} // namespace vexlor
