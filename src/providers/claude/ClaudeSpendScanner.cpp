#include "ClaudeSpendScanner.h"

#include "UsageLineReader.h"
#include "collection/IsoDate.h"
#include "collection/Json.h"

#include <QSemaphore>
#include <QSet>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

namespace vexlor {

namespace {

constexpr double kSevenDays = 604800.0;
constexpr double kOneDay = 86400.0;
constexpr double kCacheWriteFactor = 1.25;
constexpr double kCacheReadFactor = 0.1;
// A parser that grew past this for one huge line is dropped afterwards.
constexpr std::size_t kParserKeepBytes = std::size_t(4) << 20;

struct PriceRow {
    std::string_view contained;
    double input;
    double output;
};

// First row whose text the lower-cased model name contains wins.
constexpr PriceRow kPriceRows[] = {
    {"fable", 10, 50},
    {"mythos", 10, 50},
    {"opus-4-5", 5, 25},
    {"opus-4-6", 5, 25},
    {"opus-4-7", 5, 25},
    {"opus-4-8", 5, 25},
    {"opus", 15, 75},
    {"sonnet", 3, 15},
    {"haiku-3-5", 0.8, 4},
    {"haiku", 1, 5},
};
constexpr ModelPrices kFallbackPrices{5, 25};

ModelPrices pricesOfLowered(std::string_view lowered)
{
    for (const PriceRow& row : kPriceRows) {
        if (lowered.find(row.contained) != std::string_view::npos)
            return {row.input, row.output};
    }
    return kFallbackPrices;
}

// The same lookup for a UTF-8 name, without a detour through QString for the
// plain ASCII names every real transcript carries.
ModelPrices pricesUtf8(std::string_view model)
{
    char small[128];
    if (model.size() <= sizeof small) {
        bool ascii = true;
        for (std::size_t i = 0; i < model.size(); ++i) {
            const auto c = static_cast<unsigned char>(model[i]);
            if (c >= 0x80) {
                ascii = false;
                break;
            }
            small[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : static_cast<char>(c);
        }
        if (ascii)
            return pricesOfLowered(std::string_view(small, model.size()));
    }
    return prices(json::toQString(model));
}

qint64 hourIndex(Timestamp t)
{
    const double h = std::trunc(t.seconds() / 3600.0);
    constexpr double limit = 9.0e15; // far beyond any real date, well inside qint64
    return static_cast<qint64>(std::clamp(h, -limit, limit));
}

// Gives every integer literal outside strings that is too long for 64 bits an
// exponent, so that it parses as the double it stands for.
std::string widenLongIntegers(std::string_view line)
{
    std::string out;
    out.reserve(line.size() + 32);
    bool inString = false;
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    for (std::size_t i = 0; i < line.size();) {
        const char c = line[i];
        if (inString) {
            out += c;
            if (c == '\\' && i + 1 < line.size()) {
                out += line[i + 1];
                i += 2;
                continue;
            }
            inString = c != '"';
            ++i;
            continue;
        }
        if (!isDigit(c)) {
            inString = c == '"';
            out += c;
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < line.size() && isDigit(line[j]))
            ++j;
        out.append(line.substr(i, j - i));
        const char before = i > 0 ? line[i - 1] : ' ';
        const bool integerPart = before != '.' && before != 'e' && before != 'E' && before != '+'
            && !(before == '-' && i > 1 && (line[i - 2] == 'e' || line[i - 2] == 'E'));
        const bool fractionFollows = j < line.size() && (line[j] == '.' || line[j] == 'e' || line[j] == 'E');
        if (integerPart && !fractionFollows && j - i > 18)
            out += "e0";
        i = j;
    }
    return out;
}

// One message's share of a file's totals.
struct Contribution {
    qint64 hour = 0;
    double tokens = 0;
    double cost = 0;
};

using Buckets = QHash<qint64, ClaudeSpendScanner::HourBucket>;

} // namespace

// What reading a transcript up to its last complete line found: enough to read
// on from there and reach the same totals as reading the whole file again.
struct ClaudeSpendScanner::FollowState {
    FileIdentity identity;
    qint64 completeEnd = 0;
    QByteArray fingerprint; // the bytes just before completeEnd, to notice a rewrite
    Buckets unkeyed;        // lines without a message id, summed in file order
    std::vector<Contribution> keyed; // by the message's first appearance
    // Message and request id, hashed: 64 bits keep a collision between two
    // messages of one transcript far less likely than a bit flip in memory.
    std::unordered_map<std::uint64_t, std::size_t> keyIndex;
};

namespace {

constexpr qint64 kFingerprintBytes = 64;

// Sums the usage lines of one transcript into hour buckets. A message id
// (with its request id) seen again replaces what its earlier line added:
// streamed responses repeat the message once per content block and only the
// last copy carries the final output count.
//
// Complete lines go into the state that a later read of the grown file goes
// on from; the file's unterminated last line (possibly still being written)
// counts now but is read again next time, so it never counts twice.
class FileAggregator {
public:
    FileAggregator(Timestamp mtime, ClaudeSpendScanner::FollowState state)
        : m_mtime(mtime)
        , m_state(std::move(state))
    {
    }

    void addLine(std::string_view line, bool complete)
    {
        simdjson::dom::parser& parser = threadParser();
        simdjson::dom::element root;
        simdjson::error_code err = parser.parse(line.data(), line.size(), false).get(root);
        std::string repaired;
        if (err == simdjson::UTF8_ERROR) {
            // Invalid sequences read as U+FFFD, as a lenient text decode would.
            repaired = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())).toStdString();
            err = parser.parse(repaired).get(root);
        }
        if (err == simdjson::NUMBER_ERROR) {
            // An integer too long for 64 bits is still a number, read as a
            // double like every other count; it must not cost the message.
            repaired = widenLongIntegers(repaired.empty() ? line : std::string_view(repaired));
            err = parser.parse(repaired).get(root);
        }
        if (!err)
            addRecord(root, complete);
        if (parser.capacity() > kParserKeepBytes)
            parser = simdjson::dom::parser();
    }

    // Whether a line without its own time was counted at the file's
    // modification time, which moves when the file grows: such a file is
    // read whole each time so that those lines move with it.
    [[nodiscard]] bool usedFileTime() const { return m_usedFileTime; }

    // The totals: the unkeyed lines in file order, then each message once.
    [[nodiscard]] Buckets buckets() const
    {
        Buckets out = m_state.unkeyed;
        if (m_pending && !m_pendingKey)
            add(out, *m_pending);
        std::optional<std::size_t> replaced;
        if (m_pending && m_pendingKey) {
            if (const auto it = m_state.keyIndex.find(*m_pendingKey); it != m_state.keyIndex.end())
                replaced = it->second;
        }
        for (std::size_t i = 0; i < m_state.keyed.size(); ++i)
            add(out, replaced == i ? *m_pending : m_state.keyed[i]);
        if (m_pending && m_pendingKey && !replaced)
            add(out, *m_pending);
        return out;
    }

    [[nodiscard]] ClaudeSpendScanner::FollowState takeState() { return std::move(m_state); }

private:
    static simdjson::dom::parser& threadParser()
    {
        thread_local simdjson::dom::parser parser;
        return parser;
    }

    static void add(Buckets& buckets, const Contribution& c)
    {
        ClaudeSpendScanner::HourBucket& b = buckets[c.hour];
        b.tokens += c.tokens;
        b.cost += c.cost;
    }

    void addRecord(simdjson::dom::element root, bool complete)
    {
        json::object record;
        if (root.get_object().get(record))
            return;
        if (json::string(record, "type") != std::optional<std::string_view>("assistant"))
            return;
        const auto message = json::childObject(record, "message");
        if (!message)
            return;
        const auto usage = json::childObject(*message, "usage");
        if (!usage)
            return;

        std::optional<Timestamp> ownTime;
        if (const auto text = json::string(record, "timestamp"))
            ownTime = parseInternetDateTime(*text);
        m_usedFileTime = m_usedFileTime || !ownTime;
        const double input = json::number(*usage, "input_tokens").value_or(0);
        const double output = json::number(*usage, "output_tokens").value_or(0);
        const double cacheWrite = json::number(*usage, "cache_creation_input_tokens").value_or(0);
        const double cacheRead = json::number(*usage, "cache_read_input_tokens").value_or(0);
        double cost = 0;
        if (const auto stated = json::number(record, "costUSD")) {
            cost = *stated;
        } else {
            const ModelPrices p = pricesUtf8(json::string(*message, "model").value_or(std::string_view()));
            cost = (input * p.inputPerMillion + output * p.outputPerMillion
                    + cacheWrite * p.inputPerMillion * kCacheWriteFactor
                    + cacheRead * p.inputPerMillion * kCacheReadFactor)
                / 1'000'000.0;
        }
        const Contribution c{hourIndex(ownTime.value_or(m_mtime)), input + output + cacheWrite + cacheRead, cost};

        std::optional<std::uint64_t> key;
        if (const auto id = json::string(*message, "id")) {
            std::string text(*id);
            text += ':';
            if (const auto requestId = json::string(record, "requestId"))
                text += *requestId;
            key = std::hash<std::string>{}(text);
        }
        if (!complete) {
            m_pending = c;
            m_pendingKey = key;
            return;
        }
        if (!key) {
            add(m_state.unkeyed, c); // no identity: never de-duplicated
            return;
        }
        const auto [it, inserted] = m_state.keyIndex.try_emplace(*key, m_state.keyed.size());
        if (inserted)
            m_state.keyed.push_back(c);
        else
            m_state.keyed[it->second] = c; // the later line of a message counts, not both
    }

    Timestamp m_mtime;
    ClaudeSpendScanner::FollowState m_state;
    std::optional<Contribution> m_pending; // the unterminated last line, if it counted
    std::optional<std::uint64_t> m_pendingKey;
    bool m_usedFileTime = false;
};

struct FileRead {
    ClaudeSpendScanner::FileAggregate aggregate;
    qint64 bytes = 0; // how much of the file this read covered
};

// Reads a transcript, going on from `previous` when the file is the same one
// and has only grown since; otherwise from its start.
FileRead aggregateFile(UsageLineReader& reader, const FileStamp& stamp, const ClaudeSpendScanner::FollowState* previous,
                       bool follow)
{
    FileRead out;
    out.aggregate.size = stamp.size;
    out.aggregate.mtime = stamp.mtime;
    if (!reader.open(stamp.path))
        return out;
    try {
        ClaudeSpendScanner::FollowState start;
        qint64 from = 0;
        if (previous && previous->identity.sameFileAs(reader.openIdentity()) && reader.openSize() >= previous->completeEnd
            && reader.bytesBefore(previous->completeEnd, previous->fingerprint.size()) == previous->fingerprint) {
            start = *previous;
            from = previous->completeEnd;
        }
        FileAggregator aggregator(stamp.mtime, std::move(start));
        const bool ok = reader.forEachUsageLine(
            from, [&](std::string_view line) { aggregator.addLine(line, reader.lineComplete()); });
        out.bytes = std::max<qint64>(0, reader.openSize() - from);
        if (ok) {
            out.aggregate.buckets = aggregator.buckets();
            if (follow && !aggregator.usedFileTime()) {
                auto state = std::make_shared<ClaudeSpendScanner::FollowState>(aggregator.takeState());
                state->identity = reader.openIdentity();
                state->completeEnd = reader.completeEnd();
                const auto fingerprint = reader.bytesBefore(state->completeEnd, std::min(kFingerprintBytes, state->completeEnd));
                if (fingerprint) {
                    state->fingerprint = *fingerprint;
                    out.aggregate.follow = std::move(state);
                }
            }
        }
    } catch (const std::exception&) {
        // Out of memory on a pathological file: it counts as unreadable.
        out.aggregate.buckets.clear();
        out.aggregate.follow.reset();
    }
    reader.close();
    return out;
}

} // namespace

ModelPrices prices(QStringView model)
{
    const QByteArray lowered = model.toString().toLower().toUtf8();
    return pricesOfLowered(std::string_view(lowered.constData(), static_cast<std::size_t>(lowered.size())));
}

ClaudeSpendScanner::ClaudeSpendScanner(Clock clock)
    : ClaudeSpendScanner(std::move(clock), Tuning())
{
}

ClaudeSpendScanner::ClaudeSpendScanner(Clock clock, Tuning tuning)
    : m_clock(std::move(clock))
    , m_tuning(tuning)
{
}

qint64 ClaudeSpendScanner::filesRead() const
{
    QMutexLocker locker(&m_lock);
    return m_filesRead;
}

qint64 ClaudeSpendScanner::bytesRead() const
{
    QMutexLocker locker(&m_lock);
    return m_bytesRead;
}

std::optional<ClaudeSpendScanner::FileAggregate> ClaudeSpendScanner::cached(const QString& path) const
{
    QMutexLocker locker(&m_lock);
    const auto it = m_cache.constFind(path);
    if (it == m_cache.constEnd())
        return std::nullopt;
    return *it;
}

SpendSnapshot ClaudeSpendScanner::scan(const QList<FileStamp>& files)
{
    const Timestamp now = m_clock();
    const double cutoff7d = now.seconds() - kSevenDays;
    const double cutoff24h = now.seconds() - kOneDay;

    SpendSnapshot result;
    result.updatedAt = now;

    // Files modified within the window, in the given order; older ones are
    // neither read nor kept.
    std::vector<const FileStamp*> inWindow;
    inWindow.reserve(static_cast<std::size_t>(files.size()));
    QSet<QString> seen;
    seen.reserve(files.size());
    for (const FileStamp& stamp : files) {
        if (stamp.mtime.seconds() > cutoff7d) {
            inWindow.push_back(&stamp);
            seen.insert(stamp.path);
        }
    }

    // One lookup per file; an entry whose listed size and time still match is
    // used as it is, without touching the file.
    // Only the most recently written large files keep their per-message
    // state: those are the transcripts of running sessions. The rest are read
    // whole should they change again.
    std::vector<bool> followed(inWindow.size(), false);
    {
        std::vector<std::size_t> large;
        for (std::size_t i = 0; i < inWindow.size(); ++i)
            if (inWindow[i]->size >= m_tuning.followMinBytes)
                large.push_back(i);
        const std::size_t keep = std::min(large.size(), static_cast<std::size_t>(std::max(0, m_tuning.followFiles)));
        std::partial_sort(large.begin(), large.begin() + static_cast<std::ptrdiff_t>(keep), large.end(),
                          [&](std::size_t a, std::size_t b) { return inWindow[b]->mtime < inWindow[a]->mtime; });
        for (std::size_t k = 0; k < keep; ++k)
            followed[large[k]] = true;
    }

    // A changed file that is followed is read on from where it was left.
    std::vector<FileAggregate> aggregates(inWindow.size());
    std::vector<std::size_t> stale;
    std::vector<std::shared_ptr<const FollowState>> previous(inWindow.size());
    {
        QMutexLocker locker(&m_lock);
        for (std::size_t i = 0; i < inWindow.size(); ++i) {
            const FileStamp& stamp = *inWindow[i];
            const auto it = m_cache.constFind(stamp.path);
            if (it != m_cache.constEnd() && it->size == stamp.size && it->mtime == stamp.mtime) {
                aggregates[i] = *it;
            } else {
                stale.push_back(i);
                if (it != m_cache.constEnd())
                    previous[i] = it->follow;
            }
        }
    }

    // Read the changed files without the lock, the largest first, on up to
    // maxThreads threads when there is enough to read.
    if (!stale.empty()) {
        std::sort(stale.begin(), stale.end(),
                  [&](std::size_t a, std::size_t b) { return inWindow[a]->size > inWindow[b]->size; });
        qint64 staleBytes = 0;
        for (std::size_t i : stale)
            staleBytes += std::max<qint64>(inWindow[i]->size, 0);
        std::atomic<std::size_t> next{0};
        std::atomic<qint64> bytes{0};
        auto work = [&]() noexcept {
            try {
                UsageLineReader reader(m_tuning.chunkBytes, m_tuning.maxLineBytes);
                for (std::size_t k = next.fetch_add(1); k < stale.size(); k = next.fetch_add(1)) {
                    const std::size_t i = stale[k];
                    FileRead read = aggregateFile(reader, *inWindow[i], previous[i].get(), followed[i]);
                    aggregates[i] = std::move(read.aggregate);
                    bytes += read.bytes;
                }
            } catch (const std::exception&) {
                // Out of memory: the files this worker did not finish stay empty.
            }
        };
        int threads = 1;
        if (staleBytes >= m_tuning.parallelMinBytes && stale.size() > 1) {
            const int cores = std::max(1, QThreadPool::globalInstance()->maxThreadCount());
            threads = std::clamp(std::min(cores, m_tuning.maxThreads), 1, static_cast<int>(stale.size()));
        }
        // Helpers come from the global pool, the one the scan itself runs on,
        // and only when a thread is free at once: the calling thread works
        // through the same queue, so an untaken helper costs nothing and no
        // one waits for a thread that is not there.
        QSemaphore finished;
        int started = 0;
        for (int t = 1; t < threads; ++t) {
            if (!QThreadPool::globalInstance()->tryStart([&work, &finished] {
                    work();
                    finished.release();
                }))
                break;
            ++started;
        }
        work();
        finished.acquire(started);

        QMutexLocker locker(&m_lock);
        for (std::size_t i : stale)
            m_cache.insert(inWindow[i]->path, aggregates[i]);
        m_filesRead += static_cast<qint64>(stale.size());
        m_bytesRead += bytes.load();
    }

    for (const FileAggregate& aggregate : aggregates) {
        for (auto it = aggregate.buckets.cbegin(); it != aggregate.buckets.cend(); ++it) {
            const double start = static_cast<double>(it.key()) * 3600.0;
            if (!(start > cutoff7d))
                continue;
            result.tokens7d += it->tokens;
            result.cost7d += it->cost;
            if (start > cutoff24h) {
                result.tokens24h += it->tokens;
                result.cost24h += it->cost;
            }
        }
    }

    {
        QMutexLocker locker(&m_lock);
        for (auto it = m_cache.begin(); it != m_cache.end();) {
            if (seen.contains(it.key()))
                ++it;
            else
                it = m_cache.erase(it);
        }
        for (std::size_t i = 0; i < inWindow.size(); ++i) {
            if (followed[i])
                continue;
            if (const auto it = m_cache.find(inWindow[i]->path); it != m_cache.end())
                it->follow.reset();
        }
    }
    return result;
}

} // namespace vexlor
