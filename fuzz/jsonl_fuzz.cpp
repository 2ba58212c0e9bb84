// JSON-lines split and lenient member access over arbitrary bytes.

#include "collection/IsoDate.h"
#include "collection/Json.h"

#include <QByteArrayView>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const auto& doc : vexlor::parseJSONLinesUtf8(bytes)) {
        const auto root = doc.root();
        (void)vexlor::json::qstring(root, "type");
        (void)vexlor::json::number(root, "n");
        (void)vexlor::json::integer(root, "i");
        (void)vexlor::parseISODate(vexlor::json::member(root, "timestamp"), vexlor::Timestamp());
        if (auto child = vexlor::json::childObject(root, "message"))
            (void)vexlor::json::childObject(*child, "usage");
    }
    (void)vexlor::parseInternetDateTime(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
