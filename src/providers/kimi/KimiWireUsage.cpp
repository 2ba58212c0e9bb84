#include "KimiWireUsage.h"

#include "collection/FileRoutines.h"
#include "collection/Json.h"

#include <QFile>

#include <cstring>
#include <sys/stat.h>

namespace vexlor {

namespace {

constexpr std::string_view usageRecordType = "usage.record";

// A line can hold a "usage.record" type only if it spells it out or uses a
// \u escape somewhere; every other line is skipped without a JSON parse.
bool mayHoldUsageRecord(const char* line, size_t length)
{
    return memmem(line, length, usageRecordType.data(), usageRecordType.size()) != nullptr
        || memmem(line, length, "\\u", 2) != nullptr;
}

double numberOrZero(json::object o, std::string_view key)
{
    return json::number(o, key).value_or(0.0);
}

} // namespace

QList<KimiUsageRecord> kimiUsageRecords(QByteArrayView jsonLines)
{
    QList<KimiUsageRecord> out;
    const char* data = jsonLines.data();
    const qsizetype n = jsonLines.size();
    qsizetype start = 0;
    while (start < n) {
        const void* nl = memchr(data + start, '\n', static_cast<size_t>(n - start));
        const qsizetype end = nl ? static_cast<const char*>(nl) - data : n;
        const auto length = static_cast<size_t>(end - start);
        if (length > 0 && mayHoldUsageRecord(data + start, length)) {
            if (auto doc = json::Document::parseObject(jsonLines.sliced(start, end - start))) {
                const json::object root = doc->root();
                const auto time = json::number(root, "time");
                const auto usage = json::childObject(root, "usage");
                if (json::string(root, "type") == usageRecordType && time && usage) {
                    const double tokens = numberOrZero(*usage, "inputOther") + numberOrZero(*usage, "output")
                        + numberOrZero(*usage, "inputCacheRead") + numberOrZero(*usage, "inputCacheCreation");
                    out.append({*time, tokens});
                }
            }
        }
        start = end + 1;
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
    const Identity identity{static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino),
                            static_cast<qint64>(st.st_size),
                            static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_entries.constFind(path);
        if (it != m_entries.constEnd() && it->identity == identity)
            return it->records;
    }
    // Read and parse without the lock. The identity was taken before the
    // read, so a file that changes meanwhile is read again on the next pass.
    QList<KimiUsageRecord> parsed = kimiUsageRecords(readTailBytes(path, kimiWireTailBytes));
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
