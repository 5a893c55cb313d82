#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velkar {

// The bridge carries its byte stream in HID reports: one length byte, then that many data
// bytes, zero-padded to the report size. This is the one place to adapt for another bridge.
inline constexpr std::size_t BRIDGE_REPORT_SIZE = 32; // without the report id

// Data bytes as HID output reports, each starting with report id 0 (the bridge numbers no
// reports), then the length byte and the data, padded to `reportSize` + 1 bytes.
std::vector<std::vector<std::uint8_t>>
FrameOutputReports(std::span<const std::uint8_t> data, std::size_t reportSize = BRIDGE_REPORT_SIZE);

// The data bytes carried by one input report as read (no report id). A length byte that
// promises more than arrived yields only what arrived.
std::vector<std::uint8_t> UnframeInputReport(std::span<const std::uint8_t> report);

} // namespace velkar
