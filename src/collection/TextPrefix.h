#pragma once
// The first characters of a text, counted as user-perceived characters
// (grapheme clusters), so a cut never splits an accented letter or an emoji.

#include <QString>

namespace vexlor {

[[nodiscard]] QString leadingCharacters(const QString& text, qsizetype count);

} // namespace vexlor
