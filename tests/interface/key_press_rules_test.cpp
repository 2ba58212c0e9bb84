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
    void holdingDecidesBetweenTapAndLongPress_data()
    {
        QTest::addColumn<double>("held");
        QTest::addColumn<int>("outcome");
        QTest::newRow("quick tap") << 0.05 << int(Outcome::action);
        QTest::newRow("0.44 s is still a tap") << 0.44 << int(Outcome::action);
        QTest::newRow("0.45 s is a long press") << 0.45 << int(Outcome::longPress);
        QTest::newRow("long hold") << 3.0 << int(Outcome::longPress);
    }
    void holdingDecidesBetweenTapAndLongPress()
    {
        QFETCH(double, held);
        QFETCH(int, outcome);
        KeyPressRules rules(clock());
        QCOMPARE(int(press(rules, held)), outcome);
        QVERIFY(!rules.isPressed());
        QVERIFY(!rules.pressBegan());
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

    void doubleTapOpensThePickerAndResets()
    {
        KeyPressRules rules(clock());
        QCOMPARE(press(rules, 0.05), Outcome::action);    // first tap acts
        m_now += 0.25;                                     // releases 0.3 s apart
        QCOMPARE(press(rules, 0.05), Outcome::longPress); // second opens the picker
        QCOMPARE(rules.lastTapAt().seconds(), Timestamp::distantPast().seconds());
        m_now += 0.25;
        QCOMPARE(press(rules, 0.05), Outcome::action); // third acts again
    }

    void tapsFurtherApartAreSeparateTaps()
    {
        KeyPressRules rules(clock());
        QCOMPARE(press(rules, 0.05), Outcome::action);
        m_now += 0.35; // releases 0.4 s apart
        QCOMPARE(press(rules, 0.05), Outcome::action);
        m_now += 0.30; // 0.35 s apart exactly: no longer a double tap
        QCOMPARE(press(rules, 0.05), Outcome::action);
    }

    void aLongPressDoesNotCountAsTheFirstTap()
    {
        KeyPressRules rules(clock());
        QCOMPARE(press(rules, 0.6), Outcome::longPress);
        m_now += 0.1;
        QCOMPARE(press(rules, 0.05), Outcome::action);
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
