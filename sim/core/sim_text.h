// Small text helpers shared by the simulator's command line and control channel.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tw::sim {

// "AA 55 0d" or "AA550D" → bytes. False on an odd digit count or a non-hex character.
bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& out);

// The three ways of configuring the version answer: "version" (exactly 4 characters: 3 type
// digits and a revision), "version-text" (5-255 characters) and "version-short" (0-3 characters).
bool ValidVersion(const std::string& kind, const std::vector<uint8_t>& answer);
std::string VersionRule(const std::string& kind);

}  // namespace tw::sim
