#include "base/Clock.h"

#include <QTest>

using namespace velkar;

// The fixed clock's tickers are what the window tests move time with: they must fire as the
// event loop would, only sooner.
class TestClock : public QObject {
    Q_OBJECT

private slots:
    void tickersFireInTimeOrderAsTheClockMoves() {
        FixedClock clock(QDateTime(QDate(2024, 5, 6), QTime(7, 0, 0)));
        QStringList fired;
        const auto note = [&](const char* name) {
            fired << QStringLiteral("%1@%2 %3")
                         .arg(QLatin1String(name))
                         .arg(clock.monotonicMs())
                         .arg(clock.now().toString(QStringLiteral("ss.zzz")));
        };
        auto fast = clock.ticker(300, [&] { note("fast"); });
        auto slow = clock.ticker(500, [&] { note("slow"); });
        auto idle = clock.ticker(100, [&] { note("idle"); }); // never started
        fast->start();
        slow->start();
        clock.advance(299);
        QVERIFY(fired.isEmpty());
        QVERIFY(clock.tickerDueAt(300) && clock.tickerDueAt(500) && !clock.tickerDueAt(100));
        clock.advance(701);
        QCOMPARE(fired, (QStringList{"fast@300 00.300", "slow@500 00.500", "fast@600 00.600",
                                     "fast@900 00.900", "slow@1000 01.000"}));
        QCOMPARE(clock.monotonicMs(), 1000);

        // A start while running begins the interval afresh (fast was due at 1200); a stopped
        // ticker stays quiet.
        fired.clear();
        clock.advance(100);
        fast->start();
        slow->stop();
        clock.advance(299);
        QVERIFY(fired.isEmpty());
        clock.advance(1);
        QCOMPARE(fired, QStringList{"fast@1400 01.400"});
        clock.advance(1000);
        QCOMPARE(fired.size(), 4); // fast only, at 1700, 2000 and 2300
    }

    void aTimeoutMayStopOrDestroyTickers() {
        FixedClock clock(QDateTime(QDate(2024, 5, 6), QTime(7, 0, 0)));
        int once = 0, other = 0;
        std::unique_ptr<Ticker> first, victim;
        first = clock.ticker(100, [&] {
            ++once;
            first->stop();
            victim.reset();
        });
        victim = clock.ticker(100, [&] { ++other; });
        first->start();
        victim->start();
        clock.advance(1000);
        QCOMPARE(once, 1);
        QCOMPARE(other, 0); // due at the same time, but gone before its turn
    }
};

QTEST_GUILESS_MAIN(TestClock)
#include "tst_clock.moc"
