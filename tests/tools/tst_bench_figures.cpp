#include "tools/BenchFigures.h"

#include <QTest>

using namespace velkar;

class TestBenchFigures : public QObject {
    Q_OBJECT
private slots:
    void percentileIsAMeasuredSample() {
        std::vector<double> samples;
        for (int i = 100; i >= 1; --i)
            samples.push_back(i);
        QCOMPARE(BenchFigures::Percentile(samples, 0.5), 50.0);
        QCOMPARE(BenchFigures::Percentile(samples, 0.95), 95.0);
        QCOMPARE(BenchFigures::Percentile(samples, 1.0), 100.0);
        QCOMPARE(BenchFigures::Percentile(samples, 0.0), 1.0);
    }
    void spreadOfFewSamples() {
        QCOMPARE(BenchFigures::Percentile({}, 0.5), 0.0);
        const BenchFigures::Spread one = BenchFigures::SpreadOf({7.0});
        QCOMPARE(one.median, 7.0);
        QCOMPARE(one.p95, 7.0);
        const BenchFigures::Spread three = BenchFigures::SpreadOf({3.0, 1.0, 2.0});
        QCOMPARE(three.median, 2.0);
        QCOMPARE(three.p95, 3.0);
    }
    void databaseReplacedKeepingTheSocket() {
        QCOMPARE(BenchFigures::WithDatabase("postgresql://velkar@/postgres?host=/tmp/velkar-pg.x",
                                            "bench"),
                 QStringLiteral("postgresql://velkar@/bench?host=/tmp/velkar-pg.x"));
        QCOMPARE(BenchFigures::WithDatabase("postgresql://db.example:5432/ledger", "bench"),
                 QStringLiteral("postgresql://db.example:5432/bench"));
    }
    void databaseAddedWhereNoneIsNamed() {
        QCOMPARE(BenchFigures::WithDatabase("postgresql://velkar@?host=/tmp/s", "bench"),
                 QStringLiteral("postgresql://velkar@/bench?host=/tmp/s"));
        QCOMPARE(BenchFigures::WithDatabase("postgresql://localhost", "bench"),
                 QStringLiteral("postgresql://localhost/bench"));
        QCOMPARE(BenchFigures::WithDatabase("postgresql://localhost/", "bench"),
                 QStringLiteral("postgresql://localhost/bench"));
        QVERIFY(BenchFigures::WithDatabase("DataBase.mdb", "bench").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBenchFigures)
#include "tst_bench_figures.moc"
