#pragma once

#include <cstdint>

// Command codes of the line protocol. One code may read (no payload) and
// write (with payload) the same setting.
namespace bus::cmd {

inline constexpr std::uint8_t ReadVersion = 0x01;
inline constexpr std::uint8_t AddressRange = 0x0A;
inline constexpr std::uint8_t ReadState = 0x7C;
inline constexpr std::uint8_t EnterTransit = 0xA1;
inline constexpr std::uint8_t ResumeNormal = 0xA5;

// Bus addresses.
inline constexpr std::uint8_t kControllerBase = 0x80;
inline constexpr std::uint8_t kNoController = 0xFF;

// Waits, in milliseconds.
inline constexpr int kScanWaitMs = 500;
inline constexpr int kTransitWaitMs = 500;

} // namespace bus::cmd
