#include "reader/Frames.h"
#include "reader/SimulatedReader.h"
#include "reader/windows/SimulatorWindow.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <thread>

using namespace velkar;

namespace {

const CardNumber Card{0x12, 0x34, 0xAB, 0xCD};

// An open, collecting handle on the reader, as the receive worker holds one.
BridgeHandle collect(SimulatedReader& reader) {
    const BridgeHandle h = reader.BridgeOpenDevicePath(SimulatedReader::READER_PATH);
    reader.BridgeSetTimeOut(h, 50, 50);
    reader.BridgeInitThreadData(h);
    return h;
}

ReaderReport next(SimulatedReader& reader, BridgeHandle h) {
    std::vector<std::uint8_t> data;
    if (!reader.BridgeReadThreadData(h, data))
        return Discarded{DiscardReason::UnknownStart};
    return ClassifyReport(data);
}

void write(SimulatedReader& reader, BridgeHandle h, std::uint8_t command, std::uint16_t value) {
    const CommandFrame frame = BuildCommandFrame(command, value);
    QVERIFY(reader.BridgeWriteData(h, frame.data(), frame.size()));
}

} // namespace

class TestSimulator : public QObject {
    Q_OBJECT

private slots:
    void executesCommandsAndReportsTheNewBalance() {
        SimulatedReader reader;
        const BridgeHandle h = collect(reader);
        reader.layCard(Card, 65000);
        QCOMPARE(next(reader, h), ReaderReport(CardReport{Card, 65000}));
        write(reader, h, CMD_RECHARGE, 1000); // capped at what the card holds
        QCOMPARE(next(reader, h), ReaderReport(CardReport{Card, 65535}));
        write(reader, h, CMD_CLEAR, 65535);
        QCOMPARE(next(reader, h), ReaderReport(CardReport{Card, 0}));

        // A frame with a bad check byte is ignored, and nothing arrives.
        const std::uint8_t bad[5] = {0xAA, 0x66, 0x03, 0xE8, 0x28};
        QVERIFY(reader.BridgeWriteData(h, bad, 5));
        std::vector<std::uint8_t> data{1};
        QVERIFY(reader.BridgeReadThreadData(h, data));
        QVERIFY(data.empty());
        QCOMPARE(reader.card()->balance, 0);
    }

    void countsCardsInInitialisationMode() {
        SimulatedReader reader;
        const BridgeHandle h = collect(reader);
        write(reader, h, CMD_INIT_MODE, 1);
        QCOMPARE(next(reader, h), ReaderReport(CounterReport{300}));
        reader.layCard(Card, 500);
        // Read as it came, then initialised blank.
        QCOMPARE(next(reader, h), ReaderReport(CardReport{Card, 500}));
        QCOMPARE(next(reader, h), ReaderReport(CounterReport{299}));
        QCOMPARE(reader.card()->balance, 0);
        write(reader, h, CMD_INIT_MODE, 0);
        QVERIFY(!reader.initMode());
    }

    void unpluggingFailsEveryHandle() {
        SimulatedReader reader;
        reader.setRepeatInterval(10);
        const BridgeHandle h = collect(reader);
        reader.layCard(Card, 1);
        QCOMPARE(next(reader, h), ReaderReport(CardReport{Card, 1}));
        std::vector<std::uint8_t> data;
        reader.unplug();
        QVERIFY(!reader.BridgeReadThreadData(h, data));
        QVERIFY(!reader.BridgeWriteData(h, data.data(), 0));
        BridgeDeviceEntry entry;
        QCOMPARE(reader.BridgeGetDevicePath(0, entry), BridgePathResult::NoMoreItems);
        reader.plug();
        QVERIFY(!reader.BridgeReadThreadData(h, data)); // an old handle stays dead
        QVERIFY(collect(reader) != h);
    }

    void aWakeEndsOneReadWithNothing() {
        SimulatedReader reader;
        const BridgeHandle h = collect(reader);
        reader.BridgeSetTimeOut(h, 60000, 60000); // a read that timed out fails the test
        QElapsedTimer timer;
        timer.start();
        std::vector<std::uint8_t> data{1};
        // Woken before it began (the writer was quicker than the reading thread) ...
        QVERIFY(reader.BridgeWakeRead(h));
        QVERIFY(reader.BridgeReadThreadData(h, data));
        QVERIFY(data.empty());
        // ... and while it waits.
        std::thread waker([&] {
            while (reader.readsWaiting() == 0)
                std::this_thread::yield();
            reader.BridgeWakeRead(h);
        });
        QVERIFY(reader.BridgeReadThreadData(h, data));
        waker.join();
        QVERIFY(data.empty());
        QVERIFY(timer.elapsed() < 30000);
        QCOMPARE(reader.readsWaiting(), 0);
        // A report is read as ever, and a wake never hides one.
        reader.layCard(Card, 7);
        reader.BridgeWakeRead(h);
        QCOMPARE(next(reader, h), ReaderReport(CardReport{Card, 7}));
        reader.BridgeCloseDevice(h);
        QVERIFY(!reader.BridgeWakeRead(h));
    }

    void windowDrivesTheReader() {
        SimulatedReader reader;
        SimulatorWindow window(reader);
        auto* cardNo = window.findChild<QLineEdit*>("cardNoEdit");
        auto* lay = window.findChild<QPushButton*>("layButton");
        cardNo->setText("00000A");
        QTest::mouseClick(lay, Qt::LeftButton);
        QCOMPARE(CardNumberText(reader.card()->cardNo), QStringLiteral("0000000A"));
        QCOMPARE(window.findChild<QLabel*>("cardLabel")->text(),
                 QStringLiteral("卡上：0000000A  余额 0.0 元"));
        cardNo->setText("XYZ");
        QVERIFY(!lay->isEnabled());
        QTest::mouseClick(window.findChild<QPushButton*>("removeButton"), Qt::LeftButton);
        QVERIFY(!reader.card());
        QTest::mouseClick(window.findChild<QPushButton*>("plugButton"), Qt::LeftButton);
        QVERIFY(!reader.plugged());
    }
};

QTEST_MAIN(TestSimulator)
#include "tst_simulator.moc"
