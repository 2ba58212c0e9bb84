// Codex's "auth.json" and the expiry of its access token over arbitrary
// bytes. The input is read as a credentials file, as a token, and (base64url
// encoded) as the payload part of a token, so the expiry's JSON read is
// reached as often as the splitting and decoding before it.

#include "providers/codex/CodexAuth.h"

#include <QByteArray>
#include <QString>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const auto credentials = vexlor::parseCodexCredentials(bytes)) {
        if (credentials->accessToken.isEmpty())
            std::abort();
        (void)vexlor::jwtExpiry(credentials->accessToken);
    }
    (void)vexlor::jwtExpiry(QString::fromUtf8(bytes));

    const QByteArray payload = bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    const auto expiry = vexlor::jwtExpiry(QStringLiteral("eyJhbGciOiJSUzI1NiJ9.%1.c2ln").arg(QString::fromLatin1(payload)));
    // A payload without "exp" in it can never give an expiry.
    if (expiry && !bytes.contains("exp") && !bytes.contains("\\u"))
        std::abort();
    return 0;
}
