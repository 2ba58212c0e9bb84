// The preferences file with arbitrary bytes in a temporary folder: the store
// and everything that reads settings from it start up, a broken file is set
// aside intact (never lost), and a write keeps every key the file held.

#include "deck/AppSettings.h"
#include "deck/KeyAssignment.h"
#include "deck/PreferencesStore.h"
#include "fixtures/Fixtures.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir home;
    const QString folder = home.path() + QStringLiteral("/vexlor");
    QDir(folder).removeRecursively();
    const QString path = folder + QStringLiteral("/preferences.json");
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (!vexlor::fixtures::writeFile(path, bytes))
        return 0;
    QJsonParseError error{};
    const QJsonDocument parsed = QJsonDocument::fromJson(bytes, &error);
    const bool valid = error.error == QJsonParseError::NoError && parsed.isObject();

    vexlor::PreferencesStore store(path);
    {
        vexlor::AppSettings settings(store);
        (void)settings.gridColumns();
    }
    (void)vexlor::loadKeyAssignments(store);
    for (const QString& key : parsed.object().keys()) {
        (void)store.boolValue(key);
        (void)store.integerValue(key);
        (void)store.stringArray(key);
        (void)store.dictionary(key);
    }
    (void)store.dictionary(QStringLiteral("CollectorAcknowledged"));

    if (!valid) {
        // Set aside under a new name with its bytes unchanged.
        const QStringList aside = QDir(folder).entryList({QStringLiteral("preferences.json.corrupt-*")}, QDir::Files);
        if (aside.size() != 1 || readAll(folder + u'/' + aside.first()) != bytes || QFile::exists(path))
            std::abort();
    }

    store.setBool(QStringLiteral("FuzzWritten"), true);
    if (store.hasUnsavedChanges())
        std::abort();
    vexlor::PreferencesStore again(path);
    if (!again.boolValue(QStringLiteral("FuzzWritten")))
        std::abort();
    if (valid) {
        for (const QString& key : parsed.object().keys())
            if (key != QLatin1String("FuzzWritten") && !again.value(key))
                std::abort();
    }
    return 0;
}
