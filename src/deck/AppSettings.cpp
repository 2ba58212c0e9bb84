#include "AppSettings.h"

#include "AutostartEntry.h"
#include "PreferencesStore.h"
#include "collection/Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <utility>

namespace vexlor {

namespace {

bool boolOr(const PreferencesStore& store, const QString& key, bool fallback)
{
    const std::optional<QJsonValue> v = store.value(key);
    return v && v->isBool() ? v->toBool() : fallback;
}

int choiceOr(const PreferencesStore& store, const QString& key, const QList<int>& choices, int fallback)
{
    const int v = store.integerValue(key);
    return choices.contains(v) ? v : fallback;
}

} // namespace

AppSettings::AppSettings(PreferencesStore& store, QObject* parent)
    : QObject(parent)
    , m_store(store)
{
    m_onlineAccess = store.boolValue(kOnlineAccessKey);
    m_showInfoBar = boolOr(store, kShowInfoBarKey, true);
    m_showTipsOnLaunch = boolOr(store, kShowTipsOnLaunchKey, true);
    m_notifyNeedsYou = boolOr(store, kNotifyNeedsYouKey, true);
    m_launchAtLogin = autostart::isEnabled(autostart::entryPath());
    if (const auto broker = store.value(kFleetBrokerKey); broker && broker->isString())
        m_fleetBroker = broker->toString().trimmed();
    m_gridColumns = choiceOr(store, kGridColumnsKey, columnChoices(), 4);
    m_gridRows = choiceOr(store, kGridRowsKey, rowChoices(), 2);
}

AppSettings& AppSettings::shared()
{
    static AppSettings settings(PreferencesStore::shared());
    return settings;
}

void AppSettings::setOnlineAccess(bool value)
{
    const bool changed = m_onlineAccess != value;
    m_onlineAccess = value;
    if (changed)
        emit onlineAccessChanged();
    m_store.setBool(kOnlineAccessKey, value);
}

void AppSettings::setGridColumns(int value)
{
    const bool changed = m_gridColumns != value;
    m_gridColumns = value;
    if (changed)
        emit gridColumnsChanged();
    m_store.setInteger(kGridColumnsKey, value);
}

void AppSettings::setGridRows(int value)
{
    const bool changed = m_gridRows != value;
    m_gridRows = value;
    if (changed)
        emit gridRowsChanged();
    m_store.setInteger(kGridRowsKey, value);
}

void AppSettings::setShowInfoBar(bool value)
{
    const bool changed = m_showInfoBar != value;
    m_showInfoBar = value;
    if (changed)
        emit showInfoBarChanged();
    m_store.setBool(kShowInfoBarKey, value);
}

void AppSettings::setShowTipsOnLaunch(bool value)
{
    const bool changed = m_showTipsOnLaunch != value;
    m_showTipsOnLaunch = value;
    if (changed)
        emit showTipsOnLaunchChanged();
    m_store.setBool(kShowTipsOnLaunchKey, value);
}

void AppSettings::setNotifyNeedsYou(bool value)
{
    const bool changed = m_notifyNeedsYou != value;
    m_notifyNeedsYou = value;
    if (changed)
        emit notifyNeedsYouChanged();
    m_store.setBool(kNotifyNeedsYouKey, value);
}

void AppSettings::setFleetBroker(const QString& value)
{
    const QString trimmed = value.trimmed();
    const bool changed = m_fleetBroker != trimmed;
    m_fleetBroker = trimmed;
    if (changed)
        emit fleetBrokerChanged();
    m_store.setString(kFleetBrokerKey, trimmed);
}

void AppSettings::setLaunchAtLogin(bool value)
{
    const QString path = autostart::entryPath();
    if (value) {
        QString program = QCoreApplication::applicationFilePath();
        if (program.isEmpty())
            program = QStringLiteral("vexlor");
        QSaveFile file(path);
        const bool written = QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly)
            && file.write(autostart::entryText(program)) > 0 && file.commit();
        if (!written)
            qCWarning(lcDeck, "[Autostart] could not write %s", qPrintable(path));
    } else if (QFile::exists(path) && !QFile::remove(path)) {
        qCWarning(lcDeck, "[Autostart] could not remove %s", qPrintable(path));
    }
    refreshLaunchAtLogin();
}

void AppSettings::refreshLaunchAtLogin()
{
    const bool present = autostart::isEnabled(autostart::entryPath());
    if (std::exchange(m_launchAtLogin, present) != present)
        emit launchAtLoginChanged();
}

} // namespace vexlor
