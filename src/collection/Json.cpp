#include "Json.h"

#include "IsoDate.h"

#include <cmath>
#include <limits>

namespace vexlor::json {

std::optional<Document> Document::parseObject(QByteArrayView utf8)
{
    // Nothing to parse; an empty view may also have no data pointer at all,
    // which the parser would hand to memcpy.
    if (utf8.isEmpty())
        return std::nullopt;
    auto doc = std::make_shared<simdjson::dom::document>();
    // The document owns the parsed tape and strings; the parser only lends its
    // scratch buffers, so one per thread serves every call.
    thread_local simdjson::dom::parser parser;
    auto attempt = [&](QByteArrayView bytes) -> simdjson::error_code {
        simdjson::dom::element root;
        auto err = parser.parse_into_document(*doc, reinterpret_cast<const uint8_t*>(bytes.data()),
                                              static_cast<size_t>(bytes.size()), true)
                       .get(root);
        return err;
    };
    simdjson::error_code err = attempt(utf8);
    if (err == simdjson::UTF8_ERROR) {
        // Read invalid sequences as U+FFFD, like a lenient text decode would.
        const QByteArray repaired = QString::fromUtf8(utf8).toUtf8();
        err = attempt(repaired);
    }
    if (err)
        return std::nullopt;
    simdjson::dom::object root;
    if (doc->root().get_object().get(root))
        return std::nullopt;
    Document result;
    result.m_doc = std::move(doc);
    result.m_root = root;
    return result;
}

std::optional<element> member(object o, std::string_view key)
{
    element e;
    if (o.at_key(key).get(e))
        return std::nullopt;
    return e;
}

std::optional<std::string_view> string(object o, std::string_view key)
{
    std::string_view s;
    if (o.at_key(key).get_string().get(s))
        return std::nullopt;
    return s;
}

std::optional<QString> qstring(object o, std::string_view key)
{
    if (auto s = string(o, key))
        return toQString(*s);
    return std::nullopt;
}

std::optional<double> number(element e)
{
    switch (e.type()) {
    case simdjson::dom::element_type::INT64:
        return static_cast<double>(int64_t(e));
    case simdjson::dom::element_type::UINT64:
        return static_cast<double>(uint64_t(e));
    case simdjson::dom::element_type::DOUBLE:
        return double(e);
    default:
        return std::nullopt;
    }
}

std::optional<double> number(object o, std::string_view key)
{
    if (auto e = member(o, key))
        return number(*e);
    return std::nullopt;
}

std::optional<qint64> integer(object o, std::string_view key)
{
    auto e = member(o, key);
    if (!e)
        return std::nullopt;
    switch (e->type()) {
    case simdjson::dom::element_type::INT64:
        return int64_t(*e);
    case simdjson::dom::element_type::UINT64: {
        const uint64_t v = uint64_t(*e);
        if (v > static_cast<uint64_t>(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return static_cast<qint64>(v);
    }
    case simdjson::dom::element_type::DOUBLE: {
        const double d = double(*e);
        if (!std::isfinite(d) || std::trunc(d) != d || d < -9.2e18 || d > 9.2e18)
            return std::nullopt;
        return static_cast<qint64>(d);
    }
    default:
        return std::nullopt;
    }
}

std::optional<object> childObject(object o, std::string_view key)
{
    object child;
    if (o.at_key(key).get_object().get(child))
        return std::nullopt;
    return child;
}

std::optional<array> childArray(object o, std::string_view key)
{
    array child;
    if (o.at_key(key).get_array().get(child))
        return std::nullopt;
    return child;
}

} // namespace vexlor::json

namespace vexlor {

QList<json::Document> parseJSONLinesUtf8(QByteArrayView utf8)
{
    QList<json::Document> out;
    forEachJSONLine(utf8, [&out](json::Document& doc) { out.append(std::move(doc)); });
    return out;
}

Timestamp parseISODate(std::optional<json::element> value, Timestamp fallback)
{
    if (!value)
        return fallback;
    std::string_view s;
    if (value->get_string().get(s))
        return fallback;
    return parseInternetDateTime(s).value_or(fallback);
}

} // namespace vexlor
