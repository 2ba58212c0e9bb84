#include "KeyValueStore.h"

namespace vexlor {

bool KeyValueStore::isValidKey(QStringView key)
{
    if (key.isEmpty() || key.startsWith(u'.') || key.contains(u"..") || key.contains(u'/') || key.contains(QChar(0)))
        return false;
    return key.toUtf8().size() <= 255;
}

} // namespace vexlor
