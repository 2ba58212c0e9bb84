// Runs the QML tests of the deck view (tests/interface/qml/tst_*.qml) on the
// offscreen platform, with a deck state over a fake deck.

#include "DeckViewState.h"
#include "FakeDeckSource.h"
#include "SymbolImageProvider.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

Q_IMPORT_QML_PLUGIN(VexlorPlugin)

using namespace vexlor;

namespace {
QString s(const char* text)
{
    return QString::fromLatin1(text);
}
} // namespace

class Setup : public QObject {
    Q_OBJECT

public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        engine->addImportPath(s("qrc:/"));
        engine->addImageProvider(s("symbol"), new SymbolImageProvider);
        engine->rootContext()->setContextProperty(s("testSupport"), this);
    }

public:
    // A fresh deck state over a fake deck for every test that asks.
    Q_INVOKABLE QObject* makeDeckState()
    {
        auto* deck = new test::FakeDeckSource;
        deck->setParent(this);
        deck->agents = {{s("claude"), s("needsYou"), 1}, {s("codex"), s("working"), 0}};
        deck->assignments = {{0, s("claudeStatus")}, {1, s("codexStatus")}, {2, s("spacer")}, {3, s("clock")}};
        m_lastDeck = deck;
        return new DeckViewState(deck, this);
    }
    // What the last fake deck was asked to assign, as "assignment@slot".
    Q_INVOKABLE QStringList assigned() const
    {
        QStringList out;
        if (m_lastDeck) {
            for (const auto& [assignment, slot] : m_lastDeck->assigned)
                out.append(assignment + QLatin1Char('@') + QString::number(slot));
        }
        return out;
    }

private:
    test::FakeDeckSource* m_lastDeck = nullptr;
};

QUICK_TEST_MAIN_WITH_SETUP(deck_view, Setup)
#include "deck_view_qml_test.moc"
