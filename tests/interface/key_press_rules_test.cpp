// The key's press rules, timed on release with an injected clock.

#include "KeyGesture.h"
#include "KeyPressRules.h"

#include <QSignalSpy>
#include <QTest>

using namespace vexlor;
using Outcome = KeyPressRules::Outcome;

class KeyPressRulesTest : public QObject {
    Q_OBJECT

    double m_now = 1'765'000'000.0;
    Clock clock()
    {
        return [this] { return Timestamp::fromSeconds(m_now); };
    }
    // A press held for `held` seconds, released at the end.
    Outcome press(KeyPressRules& rules, double held)
    {
        rules.contact();
        m_now += held;
        return rules.release();
    }

private slots:
    // Presses as (pause since the previous release, time held) and what each
    // release decides: 0.45 s held is a long press, and a second tap whose
    // release comes less than 0.35 s after the first opens the picker.
    void pressSequences_data()
    {
        using Presses = QList<QPair<double, double>>;
        QTest::addColumn<Presses>("presses");
        QTest::addColumn<QList<Outcome>>("outcomes");
        const Outcome tap = Outcome::action;
        const Outcome longPress = Outcome::longPress;
        QTest::newRow("0.44 s is still a tap") << Presses{{0, 0.44}} << QList<Outcome>{tap};
        QTest::newRow("0.45 s is a long press") << Presses{{0, 0.45}} << QList<Outcome>{longPress};
        QTest::newRow("double tap, then a tap again")
            << Presses{{0, 0.05}, {0.25, 0.05}, {0.25, 0.05}} << QList<Outcome>{tap, longPress, tap};
        QTest::newRow("releases 0.35 s apart") << Presses{{0, 0.05}, {0.30, 0.05}} << QList<Outcome>{tap, tap};
        QTest::newRow("a long press is no first tap") << Presses{{0, 0.6}, {0.1, 0.05}}
                                                      << QList<Outcome>{longPress, tap};
    }
    void pressSequences()
    {
        using Presses = QList<QPair<double, double>>;
        QFETCH(Presses, presses);
        QFETCH(QList<Outcome>, outcomes);
        KeyPressRules rules(clock());
        QList<Outcome> got;
        for (const auto& [pause, held] : presses) {
            m_now += pause;
            got.append(press(rules, held));
            QVERIFY(!rules.isPressed());
            QVERIFY(!rules.pressBegan());
        }
        QVERIFY(got == outcomes);
    }

    void contactHoldsTheFirstMomentThroughMovements()
    {
        KeyPressRules rules(clock());
        rules.contact();
        const Timestamp began = *rules.pressBegan();
        QVERIFY(rules.isPressed());
        // Movements report contact again; the start must not move with them.
        for (int i = 0; i < 5; ++i) {
            m_now += 0.1;
            rules.contact();
        }
        QCOMPARE(rules.pressBegan()->seconds(), began.seconds());
        QCOMPARE(rules.release(), Outcome::longPress); // 0.5 s since contact
    }

    void cancelledPressForgetsItsStart()
    {
        KeyPressRules rules(clock());
        rules.contact();
        m_now += 1.0;
        rules.cancel();
        QVERIFY(!rules.isPressed());
        QVERIFY(!rules.pressBegan());
        QCOMPARE(press(rules, 0.1), Outcome::action);
    }

    void gestureEmitsOneSignalPerRelease()
    {
        KeyGesture gesture;
        gesture.setClock(clock());
        QSignalSpy taps(&gesture, &KeyGesture::tapped);
        QSignalSpy longs(&gesture, &KeyGesture::longPressed);
        QSignalSpy pressed(&gesture, &KeyGesture::pressedChanged);

        gesture.contact();
        QVERIFY(gesture.pressed());
        gesture.contact(); // a movement changes nothing visible
        m_now += 0.1;
        gesture.release();
        QCOMPARE(taps.count(), 1);
        QCOMPARE(longs.count(), 0);
        QCOMPARE(pressed.count(), 2);

        m_now += 0.2;
        gesture.contact();
        m_now += 0.1;
        gesture.release();
        QCOMPARE(taps.count(), 1);
        QCOMPARE(longs.count(), 1);
    }
};

QTEST_GUILESS_MAIN(KeyPressRulesTest)
#include "key_press_rules_test.moc"
