#include "AppSettings.h"

#include "PreferencesStore.h"

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

} // namespace vexlor
