#include "CodexAuth.h"

#include "collection/FileRoutines.h"
#include "collection/Json.h"

#include <QStringList>
#include <cmath>

namespace vexlor {

namespace {
constexpr qint64 maxAuthFileBytes = 1024 * 1024;
}

std::optional<CodexCredentials> parseCodexCredentials(QByteArrayView bytes)
{
    const auto document = json::Document::parseObject(bytes);
    if (!document)
        return std::nullopt;
    const auto tokens = json::childObject(document->root(), "tokens");
    if (!tokens)
        return std::nullopt;
    CodexCredentials credentials;
    credentials.accessToken = json::qstring(*tokens, "access_token").value_or(QString());
    if (credentials.accessToken.isEmpty())
        return std::nullopt;
    credentials.accountId = json::qstring(*tokens, "account_id").value_or(QString());
    return credentials;
}

std::optional<CodexCredentials> readCodexCredentials(const QString& authFilePath)
{
    const auto bytes = readBounded(authFilePath, maxAuthFileBytes, Overflow::refuse).bytes;
    if (!bytes)
        return std::nullopt;
    return parseCodexCredentials(*bytes);
}

std::optional<Timestamp> jwtExpiry(const QString& token)
{
    const QStringList parts = token.split(u'.', Qt::SkipEmptyParts);
    if (parts.size() < 2)
        return std::nullopt;
    QByteArray part = parts[1].toLatin1();
    part.replace('-', '+').replace('_', '/');
    while (part.size() % 4 != 0)
        part.append('=');
    const auto decoded = QByteArray::fromBase64Encoding(part, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    const auto payload = json::Document::parseObject(*decoded);
    if (!payload)
        return std::nullopt;
    const auto exp = json::number(payload->root(), "exp");
    if (!exp || !std::isfinite(*exp))
        return std::nullopt;
    return Timestamp::fromSeconds(*exp);
}

} // namespace vexlor
