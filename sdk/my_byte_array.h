// The SDK's growable byte string: command parameters, answers and receive buffers.
// A plain std::vector so that every layer can use it without conversions.
#pragma once
#include <cstdint>
#include <vector>

using CMyByteArray = std::vector<uint8_t>;
