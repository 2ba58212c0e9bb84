#pragma once
// The JSON form of a deck snapshot: one compact UTF-8 object whose member
// names are the record members' names. Timestamps are UTC texts with whole
// seconds ("2025-03-01T14:05:09Z"; fractions are dropped on writing and
// refused on reading), absent optionals are left out (never null), and a
// usage tile's `kind` is an object with exactly one member named after its
// case ("percent", "tokens" or "unavailable") holding that case's values.
//
// Decoding is strict: malformed JSON, a missing required member, a member of
// the wrong type, an unknown enumeration text, a timestamp in any other form
// or a `kind` without exactly one member fails with a description that names
// where in the document the fault lies. Unknown extra members are ignored so
// that a newer writer's additions do not break this reader.

#include "DeckSnapshot.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonArray>
#include <QString>
#include <optional>

namespace vexlor {

struct SnapshotEncoding {
    std::optional<QByteArray> bytes; // absent when encoding failed
    QString error;
};

struct SnapshotDecoding {
    std::optional<DeckSnapshot> snapshot; // absent when decoding failed
    QString error;
    // The top-level "version" when it could be read as an integer, even if the
    // rest failed; lets a reader tell "too new for me" from "broken".
    std::optional<qint64> version;
};

class SnapshotJson {
public:
    // Fails (no bytes) only on values JSON or the timestamp form cannot hold:
    // a non-finite number, or a time outside the years 1 to 9999.
    [[nodiscard]] static SnapshotEncoding encode(const DeckSnapshot& snapshot);
    [[nodiscard]] static SnapshotDecoding decode(QByteArrayView utf8);
    // The agents alone, each as in a snapshot; no value when one cannot be
    // encoded.
    [[nodiscard]] static std::optional<QJsonArray> encodeAgents(const QList<SnapshotAgent>& agents);

    // "yyyy-MM-ddTHH:mm:ssZ" of the whole second the time lies in.
    [[nodiscard]] static std::optional<QString> formatTimestamp(Timestamp time);
    // Only the exact form above with a real calendar date and time of day.
    [[nodiscard]] static std::optional<Timestamp> parseTimestamp(QStringView text);
};

} // namespace vexlor
