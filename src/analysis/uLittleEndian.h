#pragma once

// Little-endian fields of the program's binary files, whatever the machine's byte order.

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace tavrin {

inline uint32_t ReadLittleEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void AppendLittleEndian32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

inline void AppendLittleEndian64(std::vector<uint8_t>& out, uint64_t value) {
    AppendLittleEndian32(out, static_cast<uint32_t>(value));
    AppendLittleEndian32(out, static_cast<uint32_t>(value >> 32));
}

// Reads fields in order from a byte span; once a read runs past the end every later read
// fails too, so that a caller may check once after a group of fields.
class TByteReader {
  public:
    explicit TByteReader(std::span<const uint8_t> bytes) : Bytes(bytes) {}

    bool Ok() const { return Good; }
    size_t Remaining() const { return Good ? Bytes.size() - Position : 0; }

    uint32_t U32() {
        const uint8_t* p = Take(4);
        return p ? ReadLittleEndian32(p) : 0;
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    float F32() { return std::bit_cast<float>(U32()); }
    double F64() {
        const uint64_t low = U32();
        const uint64_t high = U32();
        return std::bit_cast<double>(low | high << 32);
    }
    std::string Text(size_t length) {
        const uint8_t* p = Take(length);
        return p ? std::string(reinterpret_cast<const char*>(p), length) : std::string();
    }

  private:
    const uint8_t* Take(size_t count) {
        if (!Good || Bytes.size() - Position < count) {
            Good = false;
            return nullptr;
        }
        const uint8_t* p = Bytes.data() + Position;
        Position += count;
        return p;
    }

    std::span<const uint8_t> Bytes;
    size_t Position = 0;
    bool Good = true;
};

}  // namespace tavrin
