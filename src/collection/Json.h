#pragma once
// Lenient access to the agent tools' JSON, parsed with simdjson. A member of
// the wrong type counts as absent; numbers read as doubles unless an integer is
// asked for. This header pulls in simdjson, so only parsing code includes it.

#include "Timestamp.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <simdjson.h>
#include <string_view>

namespace vexlor::json {

using simdjson::dom::array;
using simdjson::dom::element;
using simdjson::dom::object;

// A parsed JSON document whose top level is an object. Owns its memory, so
// the object stays valid for as long as any copy lives.
class Document {
public:
    Document() = default;
    [[nodiscard]] object root() const { return m_root; }
    [[nodiscard]] bool isValid() const { return m_doc != nullptr; }

    // Parses UTF-8 bytes; no value unless they hold exactly one JSON object.
    // Invalid UTF-8 is read as if each bad sequence were U+FFFD.
    [[nodiscard]] static std::optional<Document> parseObject(QByteArrayView utf8);

private:
    std::shared_ptr<simdjson::dom::document> m_doc;
    object m_root;
};

[[nodiscard]] std::optional<element> member(object o, std::string_view key);
[[nodiscard]] std::optional<std::string_view> string(object o, std::string_view key);
[[nodiscard]] std::optional<QString> qstring(object o, std::string_view key);
[[nodiscard]] std::optional<double> number(object o, std::string_view key);
[[nodiscard]] std::optional<double> number(element e);
// An integral JSON number (or a double with no fraction that fits in 64 bits).
[[nodiscard]] std::optional<qint64> integer(object o, std::string_view key);
[[nodiscard]] std::optional<object> childObject(object o, std::string_view key);
[[nodiscard]] std::optional<array> childArray(object o, std::string_view key);

[[nodiscard]] inline QString toQString(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace vexlor::json

namespace vexlor {

// Calls `onObject(json::object)` for every line of `utf8` that parses as a JSON
// object, in order; only one parsed line is alive at a time.
template <typename OnObject>
void forEachJSONLine(QByteArrayView utf8, OnObject&& onObject)
{
    qsizetype start = 0;
    const qsizetype n = utf8.size();
    while (start < n) {
        qsizetype end = utf8.indexOf('\n', start);
        if (end < 0)
            end = n;
        if (end > start) {
            if (auto doc = json::Document::parseObject(utf8.sliced(start, end - start)))
                onObject(*doc);
        }
        start = end + 1;
    }
}

// Splits UTF-8 text at line feeds and keeps the pieces that parse as JSON
// objects, in text order. Anything else (arrays, scalars, fragments) is skipped.
[[nodiscard]] QList<json::Document> parseJSONLinesUtf8(QByteArrayView utf8);

// An ISO 8601 internet date-time (with or without fractional seconds, Z or a
// numeric offset) read from a JSON string; anything else gives the fallback.
[[nodiscard]] Timestamp parseISODate(std::optional<json::element> value, Timestamp fallback);

} // namespace vexlor
