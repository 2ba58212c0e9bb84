#include "ClaudeSessionRules.h"

#include <algorithm>
#include <array>

namespace vexlor {

namespace {

// The base name of a path without its (last) extension.
QString sessionIdOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    QString name = path.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0)
        name.truncate(dot);
    return name;
}

template <size_t N>
bool containsAny(const QString& word, const std::array<QStringView, N>& parts)
{
    return std::any_of(parts.begin(), parts.end(), [&](QStringView p) { return word.contains(p); });
}

constexpr std::array<QStringView, 4> workingWords{u"working", u"running", u"busy", u"processing"};
constexpr std::array<QStringView, 5> attentionWords{u"attention", u"waiting", u"permission", u"blocked", u"input"};

} // namespace

QHash<QString, FileStamp> claudeTranscriptIndex(const QList<FileStamp>& listing)
{
    QHash<QString, FileStamp> index;
    index.reserve(listing.size());
    for (const FileStamp& stamp : listing) {
        const QString id = sessionIdOf(stamp.path);
        const auto it = index.find(id);
        if (it == index.end())
            index.insert(id, stamp);
        else if (stamp.mtime > it->mtime)
            *it = stamp;
    }
    return index;
}

Timestamp claudeActivityTime(const ClaudeStatusFile& status, const ClaudeTail& tail,
                             std::optional<Timestamp> transcriptMtime)
{
    Timestamp latest = Timestamp::distantPast();
    for (const auto& t : {status.updatedAt, tail.activityAt, transcriptMtime}) {
        if (t)
            latest = std::max(latest, *t);
    }
    return latest;
}

Timestamp claudeStatusTime(const ClaudeStatusFile& status, Timestamp activityAt)
{
    return std::max(activityAt, status.statusUpdatedAt.value_or(Timestamp::distantPast()));
}

ClaudeClassification classifyClaudeSession(const ClaudeSessionFacts& facts, const CollectorContext& context,
                                           Timestamp now)
{
    if (containsAny(facts.status, workingWords))
        return {SessionState::working, std::nullopt};

    // Asked for the user: no comparison with the hub's start here. This comes
    // before the open turn, because a permission prompt or a question is
    // written while the transcript's turn is still open.
    if (containsAny(facts.status, attentionWords)) {
        const auto ack = context.acknowledged.constFind(facts.key);
        if (ack == context.acknowledged.constEnd() || *ack < facts.statusAt)
            return {SessionState::attention, facts.statusAt};
    }

    const ClaudeTail& tail = facts.tail;
    const bool turnInFlight = tail.lastEnd < std::max(tail.lastAssistant, tail.lastUser)
        && now - facts.activityAt < 300;
    if (turnInFlight)
        return {SessionState::working, std::nullopt};

    if (context.needsAttention(facts.key, tail.lastEnd))
        return {SessionState::attention, tail.lastEnd};

    return {SessionState::idle, std::nullopt};
}

} // namespace vexlor
