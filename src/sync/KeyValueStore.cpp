#include "KeyValueStore.h"

namespace vexlor {

KeyValueWrite KeyValueStore::removeValue(const QString&)
{
    return KeyValueWrite::failure(QStringLiteral("this store cannot remove values"));
}

bool KeyValueStore::isValidKey(QStringView key)
{
    if (key.isEmpty() || key.startsWith(u'.') || key.contains(u"..") || key.contains(u'/') || key.contains(QChar(0)))
        return false;
    return key.toUtf8().size() <= 255;
}

} // namespace vexlor
