// The access-token lookup in a Claude credentials JSON (the key chain item and
// ".credentials.json" hold the same form) over arbitrary bytes. A token, when
// found, is never empty and never starts or ends with a space or a tab.

#include "collection/FileRoutines.h"
#include "providers/claude/ClaudeCredentials.h"

#include <QByteArrayView>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const auto token = vexlor::tokenFromCredentialsJson(bytes)) {
        if (token->isEmpty())
            std::abort();
        for (const QChar c : {token->front(), token->back()})
            if (c == u' ' || c == u'\t')
                std::abort();
    }
    const QString text = QString::fromUtf8(bytes);
    const QString trimmed = vexlor::trimSpacesAndTabs(text);
    if (trimmed.size() > text.size() || !text.contains(trimmed))
        std::abort();
    return 0;
}
