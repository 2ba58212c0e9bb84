#include "KimiWireUsage.h"

#include "collection/FileRoutines.h"
#include "collection/Json.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <vector>
#include <sys/stat.h>

namespace vexlor {

namespace {

constexpr std::string_view usageRecordType = "usage.record";

double numberOrZero(json::object o, std::string_view key)
{
    return json::number(o, key).value_or(0.0);
}

struct LineRange {
    qsizetype start = 0;
    qsizetype end = 0; // exclusive, before the line feed
    auto operator<=>(const LineRange&) const = default;
};

// Every line holding `needle`, in text order.
void linesContaining(QByteArrayView text, std::string_view needle, std::vector<LineRange>& out)
{
    const char* data = text.data();
    const qsizetype n = text.size();
    const std::string_view haystack(data, size_t(n));
    qsizetype from = 0;
    while (from < n) {
        // string_view::find (memchr on the first byte) is several times
        // faster than glibc's memmem on these texts.
        const size_t hit = haystack.find(needle, size_t(from));
        if (hit == std::string_view::npos)
            break;
        const auto at = qsizetype(hit);
        qsizetype start = at;
        while (start > from && data[start - 1] != '\n')
            --start;
        const void* nl = memchr(data + at, '\n', size_t(n - at));
        const qsizetype end = nl ? static_cast<const char*>(nl) - data : n;
        out.push_back({start, end});
        from = end + 1;
    }
}

void appendRecord(json::object root, QList<KimiUsageRecord>& out)
{
    const auto time = json::number(root, "time");
    const auto usage = json::childObject(root, "usage");
    if (json::string(root, "type") == usageRecordType && time && usage) {
        const double tokens = numberOrZero(*usage, "inputOther") + numberOrZero(*usage, "output")
            + numberOrZero(*usage, "inputCacheRead") + numberOrZero(*usage, "inputCacheCreation");
        out.append({*time, tokens});
    }
}

} // namespace

QList<KimiUsageRecord> kimiUsageRecords(QByteArrayView jsonLines)
{
    // A line can hold a "usage.record" type only if it spells it out or uses
    // a \u escape; the other lines are never parsed.
    std::vector<LineRange> candidates;
    linesContaining(jsonLines, usageRecordType, candidates);
    const size_t spelt = candidates.size();
    linesContaining(jsonLines, "\\u", candidates);
    if (candidates.size() > spelt) {
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    }

    QList<KimiUsageRecord> out;
    thread_local simdjson::dom::parser parser;
    for (const LineRange& line : candidates) {
        const QByteArrayView bytes = jsonLines.sliced(line.start, line.end - line.start);
        json::object root;
        const auto error = parser.parse(bytes.data(), size_t(bytes.size())).get_object().get(root);
        if (!error) {
            appendRecord(root, out);
        } else if (error == simdjson::UTF8_ERROR) {
            // Invalid sequences read as U+FFFD, as everywhere else.
            if (auto doc = json::Document::parseObject(bytes))
                appendRecord(doc->root(), out);
        }
    }
    return out;
}

KimiUsageTotals kimiUsageTotals(const QList<KimiUsageRecord>& records, Timestamp now)
{
    const double dayLimitMs = (now - 86400.0).milliseconds();
    const double weekLimitMs = (now - 604800.0).milliseconds();
    KimiUsageTotals totals;
    for (const auto& r : records) {
        if (r.timeMs >= dayLimitMs)
            totals.last24h += r.tokens;
        if (r.timeMs >= weekLimitMs)
            totals.last7d += r.tokens;
    }
    return totals;
}

QList<KimiUsageRecord> KimiWireCache::records(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::lock_guard lock(m_mutex);
        m_entries.remove(path);
        return {};
    }
    const FileIdentity identity = FileIdentity::of(st);
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_entries.constFind(path);
        if (it != m_entries.constEnd() && it->identity == identity)
            return it->records;
    }
    // Read and parse without the lock. The identity was taken before the
    // read, so a file that changes meanwhile is read again on the next pass.
    QList<KimiUsageRecord> parsed
        = kimiUsageRecords(readBounded(path, kimiWireTailBytes, Overflow::keepTail).bytes.value_or(QByteArray()));
    std::lock_guard lock(m_mutex);
    m_entries.insert(path, Entry{identity, parsed});
    return parsed;
}

void KimiWireCache::retainOnly(const QSet<QString>& paths)
{
    std::lock_guard lock(m_mutex);
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (paths.contains(it.key()))
            ++it;
        else
            it = m_entries.erase(it);
    }
}

qsizetype KimiWireCache::size() const
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

} // namespace vexlor
