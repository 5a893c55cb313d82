#include "reader/Frames.h"
#include "reader/HidFraming.h"
#include "reader/SimulatedReader.h"
#include "reports/Report.h" // a reader's report and the printed report share no name

#include <QTest>

using namespace velkar;

namespace {

std::vector<std::uint8_t> bytes(const char* hex) {
    const QByteArray raw = QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
    return {raw.begin(), raw.end()};
}

QString hex(std::span<const std::uint8_t> b) {
    return HexText(b);
}

} // namespace

class TestFrames : public QObject {
    Q_OBJECT

private slots:
    void commandFrames_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("frame");
        QTest::newRow("recharge 100") << int(CMD_RECHARGE) << 1000 << "AA 66 03 E8 27";
        QTest::newRow("recharge 1") << int(CMD_RECHARGE) << 10 << "AA 66 00 0A C6";
        QTest::newRow("recharge 1999") << int(CMD_RECHARGE) << 19990 << "AA 66 4E 16 94";
        QTest::newRow("clear 123.4") << int(CMD_CLEAR) << 1234 << "AA 55 04 D2 29";
        QTest::newRow("clear 0.0") << int(CMD_CLEAR) << 0 << "AA 55 00 00 FF";
        QTest::newRow("enter init") << int(CMD_INIT_MODE) << 1 << "AA 77 00 01 DC";
        QTest::newRow("leave init") << int(CMD_INIT_MODE) << 0 << "AA 77 00 00 DD";
    }
    void commandFrames() {
        QFETCH(int, command);
        QFETCH(int, value);
        QFETCH(QString, frame);
        const CommandFrame built = BuildCommandFrame(std::uint8_t(command), std::uint16_t(value));
        QCOMPARE(hex(built), frame);
        QCOMPARE(XorChecksum(built.data(), 5), 0); // the check byte cancels the rest
    }

    void workedReportsBothWays() {
        const auto card = bytes("55 AA 12 34 AB CD 04 D2 69");
        const ReaderReport r = ClassifyReport(card);
        QVERIFY(std::holds_alternative<CardReport>(r));
        const auto c = std::get<CardReport>(r);
        QCOMPARE(CardNumberText(c.cardNo), QStringLiteral("1234ABCD"));
        QCOMPARE(c.balance, 1234);
        QCOMPARE(CardReportFrame(c.cardNo, c.balance), card);

        const auto counter = bytes("77 AA 00 00 00 00 01 2C F0");
        QCOMPARE(ClassifyReport(counter), ReaderReport(CounterReport{300}));
        QCOMPARE(CounterReportFrame(300), counter);
    }

    void discarded_data() {
        QTest::addColumn<QString>("buffer");
        QTest::addColumn<int>("reason");
        QTest::newRow("bad checksum")
            << "55 AA 12 34 AB CD 04 D2 68" << int(DiscardReason::BadChecksum);
        QTest::newRow("card, second byte")
            << "55 AB 12 34 AB CD 04 D2 68" << int(DiscardReason::WrongSecondByte);
        QTest::newRow("counter, second byte")
            << "77 AB 00 00 00 00 01 2C F1" << int(DiscardReason::WrongSecondByte);
        QTest::newRow("counter, checksum")
            << "77 AA 00 00 00 00 01 2C F1" << int(DiscardReason::BadChecksum);
        QTest::newRow("unknown start")
            << "AA 66 03 E8 27 00 00 00 00" << int(DiscardReason::UnknownStart);
        // Eight bytes of a sound report: what follows in a buffer must not complete it.
        QTest::newRow("short read") << "55 AA 12 34 AB CD 04 D2" << int(DiscardReason::ShortRead);
        QTest::newRow("empty") << "" << int(DiscardReason::ShortRead);
    }
    void discarded() {
        QFETCH(QString, buffer);
        QFETCH(int, reason);
        const ReaderReport r = ClassifyReport(bytes(buffer.toLatin1().constData()));
        QVERIFY(std::holds_alternative<Discarded>(r));
        QCOMPARE(int(std::get<Discarded>(r).reason), reason);
    }

    void onlyTheFirstNineBytesCount() {
        // A sound report followed by rubbish is still the report; rubbish followed by a
        // report is not searched.
        QVERIFY(std::holds_alternative<CardReport>(
            ClassifyReport(bytes("55 AA 12 34 AB CD 04 D2 69 FF FF"))));
        QVERIFY(std::holds_alternative<Discarded>(
            ClassifyReport(bytes("00 55 AA 12 34 AB CD 04 D2 69"))));
    }

    void texts() {
        QCOMPARE(CardNumberText({0x00, 0x00, 0x00, 0x0A}), QStringLiteral("0000000A"));
        QCOMPARE(BalanceText(0), QStringLiteral("0.0"));
        QCOMPARE(BalanceText(5), QStringLiteral("0.5"));
        QCOMPARE(BalanceText(1234), QStringLiteral("123.4"));
        QCOMPARE(BalanceText(65535), QStringLiteral("6553.5"));
        QCOMPARE(AmountText(OP_RECHARGE, 100), QStringLiteral("00100"));
        QCOMPARE(AmountText(OP_CLEAR, 123), QStringLiteral("-00123"));
        QCOMPARE(AmountText(OP_CLEAR, 0), QStringLiteral("-00000"));
        QCOMPARE(AmountText(0, 100), QString());
        QCOMPARE(XorChecksum(nullptr, 0), 0);
        QCOMPARE(ParseCardNumber("a"), std::optional<CardNumber>(CardNumber{0, 0, 0, 0x0A}));
        QVERIFY(!ParseCardNumber("123456789"));
        QVERIFY(!ParseCardNumber("12G4"));
    }

    void hidReportFraming() {
        const auto frame = bytes("AA 66 03 E8 27");
        const auto reports = FrameOutputReports(frame, 32);
        QCOMPARE(reports.size(), 1u);
        QCOMPARE(reports[0].size(), 33u); // report id, then the report
        QCOMPARE(hex(std::span(reports[0]).first(8)), QStringLiteral("00 05 AA 66 03 E8 27 00"));

        // More than one report can carry is split, in order.
        std::vector<std::uint8_t> long_(40);
        for (std::size_t i = 0; i < long_.size(); ++i)
            long_[i] = std::uint8_t(i);
        const auto split = FrameOutputReports(long_, 32);
        QCOMPARE(split.size(), 2u);
        QCOMPARE(split[0][1], 31);
        QCOMPARE(split[1][1], 9);
        QCOMPARE(split[1][2], 31);
        QVERIFY(FrameOutputReports({}, 32).empty());

        QCOMPARE(UnframeInputReport(bytes("09 55 AA 12 34 AB CD 04 D2 69 00 00")),
                 bytes("55 AA 12 34 AB CD 04 D2 69"));
        // A length beyond what arrived yields what arrived, never bytes from elsewhere.
        QCOMPARE(UnframeInputReport(bytes("20 55 AA")), bytes("55 AA"));
        QVERIFY(UnframeInputReport(bytes("00 55 AA")).empty());
        QVERIFY(UnframeInputReport({}).empty());
    }
};

QTEST_GUILESS_MAIN(TestFrames)
#include "tst_frames.moc"
