#pragma once
// The credentials the Codex command-line tool keeps in "auth.json" below its
// home (read only, never written), and the expiry of its access token, which
// is a JSON Web Token whose second part carries "exp".

#include "collection/Timestamp.h"

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace vexlor {

struct CodexCredentials {
    QString accessToken; // never empty
    QString accountId;   // empty when absent
};

// "tokens"."access_token" (a non-empty string) and "tokens"."account_id".
// No value when the bytes are not a JSON object or the token is missing.
[[nodiscard]] std::optional<CodexCredentials> parseCodexCredentials(QByteArrayView json);
// The same read from a file; a missing, unreadable or oversized file gives no value.
[[nodiscard]] std::optional<CodexCredentials> readCodexCredentials(const QString& authFilePath);

// "exp" of the token's second part (base64url, padding optional) as a time;
// no value when the token has fewer than two parts or the part does not
// decode to a JSON object with a numeric "exp".
[[nodiscard]] std::optional<Timestamp> jwtExpiry(const QString& token);

} // namespace vexlor
