#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace kyvern::testing {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}
inline void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = std::uint8_t(v >> (8 * i));
}
inline std::uint32_t U32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

// A bitmap as another program might write it: the two headers, room for the colour table up to
// offBits, and pixelBytes of mid gray.
inline Bytes MakeBitmap(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                        std::uint32_t offBits = 1078, std::size_t pixelBytes = 0) {
    Bytes b(offBits > 54 ? offBits : 54, 0);
    Put16(b, 0, 0x4D42);
    Put32(b, 2, std::uint32_t(b.size() + pixelBytes));
    Put32(b, 10, offBits);
    Put32(b, 14, 40);
    Put32(b, 18, std::uint32_t(width));
    Put32(b, 22, std::uint32_t(height));
    Put16(b, 26, 1);
    Put16(b, 28, bitCount);
    b.resize(b.size() + pixelBytes, 0x80);
    return b;
}

// Puts a capture header text, with its zero, at the start of a frame block.
inline void WriteHeaderInBlock(Bytes& file, std::size_t blockStart, const std::string& header) {
    std::memcpy(file.data() + blockStart, header.c_str(), header.size() + 1);
}

inline Bytes ReadBytes(const std::string& path) {
    const std::string text = ReadFileText(path);
    return Bytes(text.begin(), text.end());
}
inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    WriteFileText(path, std::string(bytes.begin(), bytes.end()));
}

}  // namespace kyvern::testing
