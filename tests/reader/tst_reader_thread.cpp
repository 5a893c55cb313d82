#include "support/QuickTry.h"

#include "reader/Frames.h"
#include "reader/ReaderThread.h"
#include "reader/SimulatedReader.h"

#include <QElapsedTimer>
#include <QTest>

#include <atomic>

using namespace velkar;

namespace {

const CardNumber Card{0x12, 0x34, 0xAB, 0xCD};
// Far beyond any wait below: a frame or a stop that had to wait for the read to time out fails
// the test instead of passing slowly.
constexpr unsigned LongReadMs = 60000;

// A reader thread on the simulated reader whose reads wait LongReadMs.
struct Rig {
    Rig()
        : device(open(reader)), thread(reader, device,
                                       {[this](const ReaderReport& r) {
                                            if (std::holds_alternative<CardReport>(r))
                                                ++cards;
                                            else
                                                ++others;
                                        },
                                        [this](bool) { ended = true; }}) {}

    static BridgeHandle open(SimulatedReader& reader) {
        const BridgeHandle h = reader.BridgeOpenDevicePath(SimulatedReader::READER_PATH);
        reader.BridgeSetTimeOut(h, LongReadMs, LongReadMs);
        return h;
    }
    // Started and sitting in a read.
    void startReading() {
        thread.start();
        QTRY_COMPARE(reader.readsWaiting(), 1);
    }

    SimulatedReader reader;
    const BridgeHandle device;
    std::atomic<int> cards{0};
    std::atomic<int> others{0}; // a woken read must report nothing, not even rubbish
    std::atomic<bool> ended{false};
    ReaderThread thread;
};

} // namespace

class TestReaderThread : public QObject {
    Q_OBJECT

private slots:
    void aFrameWrittenDuringAReadGoesOutAtOnce() {
        Rig rig;
        rig.startReading();
        rig.reader.layCard(Card, 500);
        QTRY_COMPARE(rig.cards.load(), 1);
        QTRY_COMPARE(rig.reader.readsWaiting(), 1);

        QElapsedTimer timer;
        timer.start();
        std::atomic<int> written{0};
        for (int i = 0; i < 3; ++i) // each one wakes a read, or finds the thread awake
            rig.thread.write(BuildCommandFrame(CMD_RECHARGE, 10), [&](bool ok) { written += ok; });
        QTRY_COMPARE_WITH_TIMEOUT(written.load(), 3, 5000);
        QVERIFY(timer.elapsed() < 5000);
        QCOMPARE(rig.reader.written().size(), 3u);
        // Each frame's new balance is reported; the wakes themselves report nothing.
        QTRY_COMPARE(rig.cards.load(), 4);
        QCOMPARE(rig.reader.card()->balance, 530);
        QCOMPARE(rig.others.load(), 0);
        QVERIFY(rig.thread.state() == ReaderThread::State::Receiving);
    }

    void aStopEndsTheReadAndFailsWhatIsLate() {
        Rig rig;
        rig.startReading();
        QElapsedTimer timer;
        timer.start();
        rig.thread.stop();
        QVERIFY(rig.thread.wait(5000));
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(rig.ended.load());
        std::atomic<int> failed{0};
        rig.thread.write(BuildCommandFrame(CMD_CLEAR, 0), [&](bool ok) { failed += !ok; });
        QCOMPARE(failed.load(), 1);
        QVERIFY(rig.reader.written().empty());
    }
};

QTEST_GUILESS_MAIN(TestReaderThread)
#include "tst_reader_thread.moc"
