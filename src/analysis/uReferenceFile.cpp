#include "uReferenceFile.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <optional>

#include "uTraceText.h"

namespace tavrin {
namespace {

constexpr std::string_view kMagic = "TAVRREFS";
constexpr size_t kInfoLimit = 65536;
constexpr size_t kNameLimit = 4096;
constexpr size_t kPointBytes = 24;

void PutU32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>(static_cast<uint8_t>(value >> shift));
    }
}

void PutU64(std::string& out, uint64_t value) {
    for (int shift = 0; shift < 64; shift += 8) {
        out += static_cast<char>(static_cast<uint8_t>(value >> shift));
    }
}

void PutText(std::string& out, std::string_view text) {
    PutU32(out, static_cast<uint32_t>(text.size()));
    out += text;
}

uint32_t Checksum(std::string_view bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // zlib takes lengths as unsigned int; bodies stay far below 4 GiB, but feed it in pieces
    // all the same.
    while (!bytes.empty()) {
        const size_t piece = std::min<size_t>(bytes.size(), 1u << 30);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(piece));
        bytes.remove_prefix(piece);
    }
    return static_cast<uint32_t>(crc);
}

// Reads little-endian fields from a byte range; every read fails once the range is exhausted.
class TByteReader {
  public:
    explicit TByteReader(std::string_view bytes) : Bytes(bytes) {}

    std::optional<uint64_t> Unsigned(size_t size) {
        if (Bytes.size() < size) {
            return std::nullopt;
        }
        uint64_t value = 0;
        for (size_t i = 0; i < size; ++i) {
            value |= static_cast<uint64_t>(static_cast<uint8_t>(Bytes[i])) << (8 * i);
        }
        Bytes.remove_prefix(size);
        return value;
    }
    std::optional<std::string_view> Take(size_t size) {
        if (Bytes.size() < size) {
            return std::nullopt;
        }
        const std::string_view taken = Bytes.substr(0, size);
        Bytes.remove_prefix(size);
        return taken;
    }
    std::optional<std::string_view> Text(size_t limit) {
        const std::optional<uint64_t> size = Unsigned(4);
        if (!size || *size > limit) {
            return std::nullopt;
        }
        return Take(static_cast<size_t>(*size));
    }
    size_t Left() const { return Bytes.size(); }

  private:
    std::string_view Bytes;
};

std::string FormatBody(const TReference& reference) {
    std::string body;
    PutText(body, reference.Name);
    body += static_cast<char>(reference.Trace.Kind == TTraceKind::Transfer ? 1 : 0);
    body += static_cast<char>(reference.Shown ? 1 : 0);
    body += std::string(2, '\0');
    std::string info;
    // The lines the curve files carry; the title and the count are passed over on reading.
    for (const std::string& line : TraceInfoLines(reference.Trace)) {
        info += line;
        info += '\n';
    }
    PutText(body, info);
    PutU32(body, static_cast<uint32_t>(reference.Trace.Points.size()));
    for (const TTracePoint& p : reference.Trace.Points) {
        PutU64(body, std::bit_cast<uint64_t>(p.Frequency));
        PutU64(body, std::bit_cast<uint64_t>(p.Value.real()));
        PutU64(body, std::bit_cast<uint64_t>(p.Value.imag()));
    }
    return body;
}

std::optional<TReference> ParseBody(std::string_view body) {
    TByteReader in(body);
    TReference reference;
    const auto name = in.Text(kNameLimit);
    const auto kind = in.Unsigned(1);
    const auto shown = in.Unsigned(1);
    const auto reserved = in.Unsigned(2);
    const auto info = in.Text(kInfoLimit);
    const auto count = in.Unsigned(4);
    if (!name || name->empty() || !kind || *kind > 1 || !shown || *shown > 1 || !reserved ||
        !info || !count || *count > kTracePointLimit || in.Left() / kPointBytes < *count) {
        return std::nullopt;
    }
    reference.Name = std::string(*name);
    reference.Trace.Kind = *kind == 1 ? TTraceKind::Transfer : TTraceKind::Impedance;
    reference.Shown = *shown == 1;
    std::string_view lines = *info;
    while (!lines.empty()) {
        const size_t end = lines.find('\n');
        ReadTraceInfoLine(lines.substr(0, end), reference.Trace.Info);
        lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    }
    reference.Trace.Points.resize(static_cast<size_t>(*count));
    for (TTracePoint& p : reference.Trace.Points) {
        const double f = std::bit_cast<double>(*in.Unsigned(8));
        const double re = std::bit_cast<double>(*in.Unsigned(8));
        const double im = std::bit_cast<double>(*in.Unsigned(8));
        p = {f, {re, im}};
    }
    if (FirstDisorderedPoint(reference.Trace.Points)) {
        return std::nullopt;
    }
    return reference;
}

}  // namespace

std::string FormatReferenceFile(std::span<const TReference> references) {
    std::string bytes(kMagic);
    PutU32(bytes, kReferenceFileVersion);
    PutU32(bytes, static_cast<uint32_t>(references.size()));
    for (const TReference& reference : references) {
        const std::string body = FormatBody(reference);
        PutU32(bytes, static_cast<uint32_t>(body.size()));
        PutU32(bytes, Checksum(body));
        bytes += body;
    }
    return bytes;
}

TReferenceFileRead ParseReferenceFile(std::string_view bytes, std::string_view fileName) {
    TReferenceFileRead read;
    if (bytes.empty()) {
        return read;
    }
    const std::string file(fileName);
    TByteReader in(bytes);
    const auto magic = in.Take(kMagic.size());
    const auto version = in.Unsigned(4);
    const auto count = in.Unsigned(4);
    if (!magic || *magic != kMagic || !version || !count) {
        read.Damage = file + " is not a file of reference curves";
        return read;
    }
    if (*version > kReferenceFileVersion) {
        read.Damage = file + " was written by a later version of Tavrin (format " +
                      std::to_string(*version) + "); its curves are not read";
        return read;
    }
    if (*count > kReferenceLimit) {
        read.Damage = file + " is damaged: it announces " + std::to_string(*count) + " curves";
        return read;
    }
    for (uint64_t i = 0; i < *count; ++i) {
        const auto length = in.Unsigned(4);
        const auto crc = in.Unsigned(4);
        const auto body = length ? in.Take(static_cast<size_t>(*length)) : std::nullopt;
        std::optional<TReference> reference;
        if (body && crc && Checksum(*body) == *crc) {
            reference = ParseBody(*body);
        }
        if (!reference) {
            read.Damage = file + " is damaged from curve " + std::to_string(i + 1) + " of " +
                          std::to_string(*count) + " on; " + std::to_string(i) +
                          (i == 1 ? " curve was" : " curves were") + " read";
            return read;
        }
        read.References.push_back(std::move(*reference));
    }
    return read;
}

}  // namespace tavrin
