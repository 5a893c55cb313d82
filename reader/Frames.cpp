#include "reader/Frames.h"

#include "data/Amount.h"

#include <QStringList>

namespace velkar {

std::uint8_t XorChecksum(const std::uint8_t* bytes, std::size_t count) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum ^= bytes[i];
    return sum;
}

CommandFrame BuildCommandFrame(std::uint8_t command, std::uint16_t value) {
    CommandFrame frame{FRAME_START, command, std::uint8_t(value >> 8), std::uint8_t(value & 0xFF),
                       0};
    frame[4] = XorChecksum(frame.data(), 4);
    return frame;
}

std::optional<Command> ParseCommandFrame(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != COMMAND_FRAME_SIZE || bytes[0] != FRAME_START ||
        XorChecksum(bytes.data(), 4) != bytes[4])
        return std::nullopt;
    return Command{bytes[1], std::uint16_t((bytes[2] << 8) | bytes[3])};
}

namespace {

std::vector<std::uint8_t> reportFrame(std::uint8_t start, const CardNumber& cardNo,
                                      std::uint16_t value) {
    std::vector<std::uint8_t> frame{start,
                                    REPORT_MARK,
                                    cardNo[0],
                                    cardNo[1],
                                    cardNo[2],
                                    cardNo[3],
                                    std::uint8_t(value >> 8),
                                    std::uint8_t(value & 0xFF),
                                    0};
    frame[8] = XorChecksum(frame.data(), 8);
    return frame;
}

} // namespace

std::vector<std::uint8_t> CardReportFrame(const CardNumber& cardNo, std::uint16_t balance) {
    return reportFrame(REPORT_CARD, cardNo, balance);
}

std::vector<std::uint8_t> CounterReportFrame(std::uint16_t remaining) {
    return reportFrame(REPORT_COUNTER, CardNumber{}, remaining);
}

namespace {

std::uint16_t word(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint16_t((bytes[at] << 8) | bytes[at + 1]);
}

bool checksumHolds(std::span<const std::uint8_t> bytes) {
    return XorChecksum(bytes.data(), REPORT_FRAME_SIZE - 1) == bytes[REPORT_FRAME_SIZE - 1];
}

} // namespace

ReaderReport ClassifyReport(std::span<const std::uint8_t> delivered) {
    if (delivered.size() < REPORT_FRAME_SIZE)
        return Discarded{DiscardReason::ShortRead};
    const auto bytes = delivered.first(REPORT_FRAME_SIZE);
    if (bytes[0] == REPORT_CARD) {
        if (bytes[1] != REPORT_MARK)
            return Discarded{DiscardReason::WrongSecondByte};
        if (!checksumHolds(bytes))
            return Discarded{DiscardReason::BadChecksum};
        return CardReport{{bytes[2], bytes[3], bytes[4], bytes[5]}, word(bytes, 6)};
    }
    if (bytes[0] == REPORT_COUNTER) {
        if (bytes[1] != REPORT_MARK)
            return Discarded{DiscardReason::WrongSecondByte};
        if (!checksumHolds(bytes))
            return Discarded{DiscardReason::BadChecksum};
        return CounterReport{word(bytes, 6)};
    }
    return Discarded{DiscardReason::UnknownStart};
}

QString DiscardText(DiscardReason reason) {
    switch (reason) {
    case DiscardReason::ShortRead:
        return QStringLiteral("fewer than 9 bytes");
    case DiscardReason::WrongSecondByte:
        return QStringLiteral("second byte is not AA");
    case DiscardReason::BadChecksum:
        return QStringLiteral("checksum does not match");
    case DiscardReason::UnknownStart:
        return QStringLiteral("first byte is neither 55 nor 77");
    }
    return {};
}

QString CardNumberText(const CardNumber& cardNo) {
    return QString::asprintf("%02X%02X%02X%02X", cardNo[0], cardNo[1], cardNo[2], cardNo[3]);
}

QString BalanceText(int tenths) {
    return QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
}

QString AmountText(int op, int yuan) {
    if (op == OP_RECHARGE || op == OP_CLEAR)
        return BookedAmountText(op == OP_CLEAR, yuan);
    return {};
}

QString HexText(std::span<const std::uint8_t> bytes) {
    QStringList pairs;
    for (std::uint8_t b : bytes)
        pairs << QString::asprintf("%02X", b);
    return pairs.join(QLatin1Char(' '));
}

} // namespace velkar
