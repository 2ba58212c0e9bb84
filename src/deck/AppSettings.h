#pragma once
// The user settings of the deck, each kept in the preferences store, and the
// launch-at-login switch, kept as the presence of an XDG autostart entry.
//
// One instance per process: AppSettings::shared() (on the shared store). Tests
// build their own on a store of their own. Every assignment writes its key to
// the store at once, even when the value is unchanged; the change signal is
// emitted only when the value really changes. Loading replaces a missing,
// wrongly typed or out-of-range value by the default and writes nothing back.
//
// For QML: register shared() as a singleton instance; the properties below
// are readable and writable, columnChoices / rowChoices are constant.
// Main thread only.

#include <QList>
#include <QObject>

namespace vexlor {

class PreferencesStore;

class AppSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool onlineAccess READ onlineAccess WRITE setOnlineAccess NOTIFY onlineAccessChanged)
    Q_PROPERTY(int gridColumns READ gridColumns WRITE setGridColumns NOTIFY gridColumnsChanged)
    Q_PROPERTY(int gridRows READ gridRows WRITE setGridRows NOTIFY gridRowsChanged)
    Q_PROPERTY(bool showInfoBar READ showInfoBar WRITE setShowInfoBar NOTIFY showInfoBarChanged)
    Q_PROPERTY(bool showTipsOnLaunch READ showTipsOnLaunch WRITE setShowTipsOnLaunch NOTIFY showTipsOnLaunchChanged)
    Q_PROPERTY(bool notifyNeedsYou READ notifyNeedsYou WRITE setNotifyNeedsYou NOTIFY notifyNeedsYouChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    // The fleet's broker address, used from the next start when neither
    // --broker nor anything else names one; empty when not set.
    Q_PROPERTY(QString fleetBroker READ fleetBroker WRITE setFleetBroker NOTIFY fleetBrokerChanged)
    Q_PROPERTY(QList<int> columnChoices READ columnChoices CONSTANT)
    Q_PROPERTY(QList<int> rowChoices READ rowChoices CONSTANT)

public:
    static inline const QString kOnlineAccessKey = QStringLiteral("OnlineAccessEnabled");
    static inline const QString kGridColumnsKey = QStringLiteral("GridColumns");
    static inline const QString kGridRowsKey = QStringLiteral("GridRows");
    static inline const QString kShowInfoBarKey = QStringLiteral("ShowInfoBar");
    static inline const QString kShowTipsOnLaunchKey = QStringLiteral("ShowTipsOnLaunch");
    static inline const QString kNotifyNeedsYouKey = QStringLiteral("NotifyNeedsYou");
    static inline const QString kFleetBrokerKey = QStringLiteral("FleetBroker");

    // Loads the values from `store`, which must outlive this object.
    explicit AppSettings(PreferencesStore& store, QObject* parent = nullptr);

    // The process-wide instance on PreferencesStore::shared(), built on first use.
    [[nodiscard]] static AppSettings& shared();

    [[nodiscard]] static QList<int> columnChoices() { return {2, 3, 4, 5, 6}; }
    [[nodiscard]] static QList<int> rowChoices() { return {1, 2, 3, 4}; }

    [[nodiscard]] bool onlineAccess() const { return m_onlineAccess; }
    [[nodiscard]] int gridColumns() const { return m_gridColumns; }
    [[nodiscard]] int gridRows() const { return m_gridRows; }
    [[nodiscard]] bool showInfoBar() const { return m_showInfoBar; }
    [[nodiscard]] bool showTipsOnLaunch() const { return m_showTipsOnLaunch; }
    [[nodiscard]] bool notifyNeedsYou() const { return m_notifyNeedsYou; }
    [[nodiscard]] QString fleetBroker() const { return m_fleetBroker; }
    // Whether the autostart entry starts the deck at login, as last seen.
    [[nodiscard]] bool launchAtLogin() const { return m_launchAtLogin; }

    // No validation here: the settings card only offers the choice lists.
    void setOnlineAccess(bool value);
    void setGridColumns(int value);
    void setGridRows(int value);
    void setShowInfoBar(bool value);
    void setShowTipsOnLaunch(bool value);
    void setNotifyNeedsYou(bool value);
    // Stored trimmed.
    void setFleetBroker(const QString& value);
    // Writes the autostart entry (starting this program) or removes it; a
    // failure leaves the switch as the file is.
    void setLaunchAtLogin(bool value);
    // Looks at the autostart entry again (someone else may have changed it).
    Q_INVOKABLE void refreshLaunchAtLogin();

signals:
    void onlineAccessChanged();
    void gridColumnsChanged();
    void gridRowsChanged();
    void showInfoBarChanged();
    void showTipsOnLaunchChanged();
    void notifyNeedsYouChanged();
    void launchAtLoginChanged();
    void fleetBrokerChanged();

private:
    PreferencesStore& m_store;
    bool m_onlineAccess = false;
    int m_gridColumns = 4;
    int m_gridRows = 2;
    bool m_showInfoBar = true;
    bool m_showTipsOnLaunch = true;
    bool m_notifyNeedsYou = true;
    bool m_launchAtLogin = false;
    QString m_fleetBroker;
};

} // namespace vexlor
