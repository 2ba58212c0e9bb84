// Runs the QML tests of what the deck shows (tests/app/qml/tst_*.qml) on the
// offscreen platform: key contents, the information bar, the agent overlays
// and the cards, over a real deck model, settings and deck state whose
// preferences live in a temporary folder.

#include "DeckViewState.h"
#include "FleetFeed.h"
#include "SymbolImageProvider.h"
#include "TestSupport.h"
#include "collection/ProviderCatalog.h"
#include "deck/AppSettings.h"
#include "deck/DeckModel.h"
#include "deck/PreferencesStore.h"
#include "sync/FleetSource.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>
#include <memory>
#include <vector>

Q_IMPORT_QML_PLUGIN(VexlorPlugin)

using namespace vexlor;
using namespace vexlor::test;

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

// A fixed "now" so countdowns and elapsed times are exact.
constexpr double kNow = 1'800'000'000.0;

ProviderUsage tile(const QString& id, ProviderUsage::Kind kind, std::optional<double> resetsAt = std::nullopt)
{
    const TilePalette colours = providerPalette(id.section(u'-', 0, 0));
    ProviderUsage u;
    u.id = id;
    u.name = id.section(u'-', 0, 0).toUpper();
    u.tint = colours.tint;
    u.tileBackground = colours.tileBackground;
    u.kind = std::move(kind);
    if (resetsAt)
        u.resetsAt = Timestamp::fromSeconds(*resetsAt);
    return u;
}

// Claude needs the user (5 sessions, 3 rows, one waiting); Codex works on two;
// OpenCode is not installed; Kimi is idle with nothing open.
QList<Agent> busyAgents()
{
    using S = AgentSession::State;
    Agent codex = deckAgent(s("codex"), AgentStatus::working, 2,
                        {sessionRow(s("fix flaky test"), S::working, kNow - 75), sessionRow(s("bump deps"), S::working)},
                        {s("gpt-5")});
    codex.startedAt = Timestamp::fromSeconds(kNow - 3725);
    return {
        deckAgent(s("claude"), AgentStatus::needsYou, 5,
              {sessionRow(s("refactor parser"), S::attention, kNow - 75), sessionRow(s("write docs"), S::working),
               sessionRow(s("idle shell"), S::idle)},
              {s("opus-4"), s("sonnet-4")}),
        codex,
        deckAgent(s("opencode"), AgentStatus::offline, 0, {}),
        deckAgent(s("kimi"), AgentStatus::idle, 0, {}),
    };
}

// No "claude-spend" tile, so the spend key draws its placeholder.
QList<ProviderUsage> busyUsage()
{
    return {
        tile(s("claude-usage"), ProviderUsage::Percent{0.375, s("5h")}, kNow + 3 * 3600 + 300),
        tile(s("claude-session"), ProviderUsage::Percent{0.2, s("5h")}, kNow - 10),
        tile(s("codex-usage"), ProviderUsage::Percent{0.5, s("7d")}, kNow + 2 * 86400 + 5 * 3600),
        tile(s("codex-session"), ProviderUsage::Percent{0.1, s("5h")}, kNow + 90),
        tile(s("opencode-usage"), ProviderUsage::Tokens{1'234'567, 12.5, s("7d")}),
        ProviderUsage::captionTile(s("kimi-usage"), s("KIMI"), s("online off")),
    };
}

// This machine is "laptop"; "devbox" was seen 12 s ago with a Claude session
// that needs the user and a 90% plan; "ci" is offline with three Codex
// sessions at work, which count for nothing.
class FakeFleet final : public FleetSource {
public:
    using FleetSource::FleetSource;
    QString hostName() const override { return s("laptop"); }
    QList<FleetHost> hosts() const override
    {
        SnapshotAgent claude{s("claude"), s("CLAUDE"), SnapshotAgentStatus::needsYou, 1, std::nullopt,
                             {s("sonnet-4.5")},
                             QList<SnapshotAgentSession>{{s("claude:b1"), s("Refactor the <b>billing</b> API"),
                                                          SnapshotAgentSession::State::attention,
                                                          Timestamp::fromSeconds(kNow - 30)}}};
        SnapshotUsage plan{s("claude-usage"), s("CLAUDE"), SnapshotPalette::claude,
                           SnapshotUsage::Percent{0.9, s("5h")}, std::nullopt, std::nullopt};
        SnapshotAgent codex{s("codex"), s("CODEX"), SnapshotAgentStatus::working, 3, std::nullopt, {},
                            QList<SnapshotAgentSession>{}};
        return {FleetHost{s("ci"), false, Timestamp::fromSeconds(kNow - 3600), {{codex}, {}}},
                FleetHost{s("devbox"), true, Timestamp::fromSeconds(kNow - 12), {{claude}, {plan}}}};
    }
    void sendAck(const QString& host, const QString& providerID) override { sent.append(host + u':' + providerID); }
    QStringList sent;
};

} // namespace

class Setup : public QObject {
    Q_OBJECT

public:
    // The models and settings hold references to the stores: they go first.
    ~Setup() override { qDeleteAll(children()); }

public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        engine->addImportPath(s("qrc:/"));
        engine->addImageProvider(s("symbol"), new SymbolImageProvider);
        engine->rootContext()->setContextProperty(s("testSupport"), this);
    }

public:
    // A fresh preferences store in its own folder; later make* calls use it.
    Q_INVOKABLE void freshStore()
    {
        const QString path = m_dir.filePath(QString::number(m_stores.size()) + s("/preferences.json"));
        m_stores.push_back(std::make_unique<PreferencesStore>(path));
        m_now = kNow;
    }

    // "busy" (see above), "bare" (the busy agents and only the Claude plan
    // tile) or "placeholder" (the model before the first pass).
    Q_INVOKABLE QObject* makeModel(const QString& scenario)
    {
        if (m_stores.empty())
            freshStore();
        const Clock clock = [this] { return Timestamp::fromSeconds(m_now); };
        DeckModel* model = nullptr;
        if (scenario == QLatin1String("busy")) {
            model = new DeckModel(busyAgents(), busyUsage(), *m_stores.back(), clock, this);
        } else if (scenario == QLatin1String("bare")) {
            model = new DeckModel(busyAgents(), {busyUsage().first()}, *m_stores.back(), clock, this);
        } else {
            model = new DeckModel(DeckModel::placeholderAgents(), DeckModel::placeholderUsage(), *m_stores.back(),
                                  clock, this);
        }
        return model;
    }

    // Installs a recording acknowledgement callback on the model, as the
    // collector hub does.
    Q_INVOKABLE void recordAcknowledgements(QObject* model)
    {
        if (auto* deck = qobject_cast<DeckModel*>(model))
            deck->setOnAcknowledge([this](const QString& id) { m_acknowledged.append(id); });
    }
    Q_INVOKABLE QStringList acknowledged() const { return m_acknowledged; }
    Q_INVOKABLE void clearAcknowledged() { m_acknowledged.clear(); }

    // Replaces one agent's status, keeping the rest of the busy deck.
    Q_INVOKABLE void setAgentStatus(QObject* model, const QString& id, const QString& status)
    {
        auto* deck = qobject_cast<DeckModel*>(model);
        const auto parsed = agentStatusFromString(status);
        if (!deck || !parsed)
            return;
        QList<Agent> agents = deck->agents();
        for (Agent& a : agents) {
            if (a.id == id)
                a.status = *parsed;
        }
        deck->update(agents, deck->usage());
    }

    // Puts `model` in the fake fleet above, through the application's feed.
    Q_INVOKABLE void joinFleet(QObject* model)
    {
        auto* deck = qobject_cast<DeckModel*>(model);
        if (!deck)
            return;
        m_fleet = new FakeFleet(this);
        new FleetFeed(*m_fleet, *deck, m_fleet);
    }
    // The acknowledgements sent to other hosts, as "host:provider".
    Q_INVOKABLE QStringList sentAcks() const { return m_fleet ? m_fleet->sent : QStringList(); }

    Q_INVOKABLE QObject* makeSettings()
    {
        if (m_stores.empty())
            freshStore();
        return new AppSettings(*m_stores.back(), this);
    }

    // The deck view's state over the model, as the application builds it,
    // except that showing the deck does not start the model's timers: the
    // 4-second page advance would otherwise move the information bar under a
    // test's feet on a slow machine. Tests that need the tick start them.
    Q_INVOKABLE QObject* makeDeckState(QObject* model, QObject* settings)
    {
        auto* deck = qobject_cast<DeckModel*>(model);
        return deck ? new DeckViewState(deck, qobject_cast<AppSettings*>(settings), this) : nullptr;
    }

    // What the current store holds under `key` after a save ("missing" when
    // nothing was written), read back from the file as a new process would.
    Q_INVOKABLE QString storedValue(const QString& key) const
    {
        if (m_stores.empty())
            return s("missing");
        PreferencesStore reread(m_stores.back()->path());
        const auto value = reread.value(key);
        if (!value)
            return s("missing");
        if (value->isBool())
            return value->toBool() ? s("true") : s("false");
        return QString::number(value->toDouble());
    }

    Q_INVOKABLE double now() const { return m_now; }
    // Moves the models' clock; their tick timer picks it up.
    Q_INVOKABLE void advanceClock(double seconds) { m_now += seconds; }

private:
    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<PreferencesStore>> m_stores;
    QStringList m_acknowledged;
    FakeFleet* m_fleet = nullptr;
    double m_now = kNow;
};

QUICK_TEST_MAIN_WITH_SETUP(deck_content, Setup)
#include "deck_content_test.moc"
