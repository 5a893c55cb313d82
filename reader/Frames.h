#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <variant>
#include <vector>

namespace velkar {

// The reader's frames: 5-byte commands from the desk, 9-byte reports from the reader. Money is
// whole yuan on the desk and tenths of a yuan on the wire.

inline constexpr std::uint8_t FRAME_START = 0xAA;
inline constexpr std::uint8_t CMD_RECHARGE = 0x66;
inline constexpr std::uint8_t CMD_CLEAR = 0x55;
inline constexpr std::uint8_t CMD_INIT_MODE = 0x77;

inline constexpr std::uint8_t REPORT_CARD = 0x55;
inline constexpr std::uint8_t REPORT_COUNTER = 0x77;
inline constexpr std::uint8_t REPORT_MARK = 0xAA;

// Bookkeeping codes of the last command built; deliberately not the command bytes.
inline constexpr int OP_RECHARGE = 0x55;
inline constexpr int OP_CLEAR = 0xAA;

inline constexpr std::size_t COMMAND_FRAME_SIZE = 5;
inline constexpr std::size_t REPORT_FRAME_SIZE = 9;

// The largest whole-yuan recharge the desk accepts, and the smallest.
inline constexpr int MIN_RECHARGE_YUAN = 1;
inline constexpr int MAX_RECHARGE_YUAN = 1999;

using CommandFrame = std::array<std::uint8_t, COMMAND_FRAME_SIZE>;
using CardNumber = std::array<std::uint8_t, 4>;

// Exclusive OR of the first `count` bytes; 0 for none.
std::uint8_t XorChecksum(const std::uint8_t* bytes, std::size_t count);

CommandFrame BuildCommandFrame(std::uint8_t command, std::uint16_t value);

// A command frame as the reader reads it.
struct Command {
    std::uint8_t command = 0;
    std::uint16_t value = 0;
    bool operator==(const Command&) const = default;
};
// Nothing for bytes that are not exactly one well-formed command frame.
std::optional<Command> ParseCommandFrame(std::span<const std::uint8_t> bytes);

struct CardReport {
    CardNumber cardNo{};
    std::uint16_t balance = 0; // tenths of a yuan
    bool operator==(const CardReport&) const = default;
};

struct CounterReport {
    std::uint16_t remaining = 0;
    bool operator==(const CounterReport&) const = default;
};

enum class DiscardReason {
    ShortRead,       // fewer than nine bytes delivered
    WrongSecondByte, // a known start byte not followed by 0xAA
    BadChecksum,
    UnknownStart,
};

struct Discarded {
    DiscardReason reason;
    bool operator==(const Discarded&) const = default;
};

using ReaderReport = std::variant<Discarded, CardReport, CounterReport>;

// Classifies the bytes one read delivered. Only the first nine are examined: one report per
// read, no search for a later start byte, nothing carried over from an earlier read.
ReaderReport ClassifyReport(std::span<const std::uint8_t> delivered);

// The report frames the reader sends.
std::vector<std::uint8_t> CardReportFrame(const CardNumber& cardNo, std::uint16_t balance);
std::vector<std::uint8_t> CounterReportFrame(std::uint16_t remaining);

// Why a report was discarded, in words for the service tool.
QString DiscardText(DiscardReason reason);

// 8 upper-case hexadecimal digits, leading zeros kept: the card's key in the data store.
QString CardNumberText(const CardNumber& cardNo);

// Tenths as yuan with one decimal: 0 -> "0.0", 1234 -> "123.4", 65535 -> "6553.5".
QString BalanceText(int tenths);

// The 金额 text of a booked operation: 100 recharged -> "00100", 123 cleared -> "-00123".
QString AmountText(int op, int yuan);

// Bytes as upper-case hexadecimal pairs separated by spaces ("AA 66 03 E8 27").
QString HexText(std::span<const std::uint8_t> bytes);

} // namespace velkar
