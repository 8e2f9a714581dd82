#pragma once
// What a port access means for the configured boards, for people reading a trace.
#include <cstdint>
#include <optional>
#include <string>

#include "config/DevicePDB.h"

namespace korax::boards {

enum class PortDirection : std::uint8_t { Write, Read };

// The port's offset from a board's base address, when the ports that board occupies include it (none for
// a slot without a board). Port numbers are 16-bit: a board near the top wraps to 0.
std::optional<std::int32_t> OffsetOnBoard(const config::BoardEntry& entry, std::uint16_t port);

// What one port access meant for the board whose port range holds it, e.g.
// "board 0 KRX-A100 0x226 <- 0x05: AD channel select = 5"; empty when no configured board holds the port.
std::string DescribePortAccess(const config::DevicePDB& block, PortDirection direction, std::uint16_t port,
                               std::uint8_t value);
// The register's name alone ("AdStatus"), for per-register summaries; empty as above. A register that
// repeats carries its index ("DiByte1", "DaHigh0"); a port two registers share names both ("AdLow/DaLow0"); a
// port of the range no register uses is "Unused".
std::string PortRegisterName(const config::DevicePDB& block, std::uint16_t port);

} // namespace korax::boards
