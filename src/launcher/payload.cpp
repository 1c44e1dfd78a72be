#include "launcher/payload.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace qx::launcher {

void Scramble(unsigned char* buffer, std::size_t count, std::uint32_t key) {
    const unsigned char k[4] = {static_cast<unsigned char>(key & 0xFF), static_cast<unsigned char>((key >> 8) & 0xFF),
                                static_cast<unsigned char>((key >> 16) & 0xFF),
                                static_cast<unsigned char>((key >> 24) & 0xFF)};
    for (std::size_t j = 0; j < count; ++j) buffer[j] ^= k[(j + 1) % 4];
}

std::uint32_t ReadLe32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void AppendLe32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

}  // namespace

bool IsKernelName(std::string_view name) {
    for (const std::string_view kernel : kKernelNames) {
        if (EqualsIgnoringAsciiCase(name, kernel)) return true;
    }
    return false;
}

bool IsSafeRecordName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || c == ':' || u < 0x20 || u == 0x7F) return false;
    }
    return true;
}

std::string EncodeRecords(const std::vector<PayloadFile>& files) {
    std::string out;
    for (const PayloadFile& f : files) {
        if (!IsSafeRecordName(f.name)) throw std::invalid_argument("not a bare file name: \"" + f.name + "\"");
        if (f.data.size() > std::numeric_limits<std::uint32_t>::max())
            throw std::invalid_argument(f.name + " is too large for a payload record");
        out += f.name;
        out.push_back('\0');
        AppendLe32(out, static_cast<std::uint32_t>(f.data.size()));
        out += f.data;
    }
    return out;
}

std::optional<std::vector<RecordView>> SplitRecords(std::string_view content) {
    std::vector<RecordView> records;
    std::size_t at = 0;
    while (at < content.size()) {
        const std::size_t nul = content.find('\0', at);
        if (nul == std::string_view::npos) return std::nullopt;  // a name without its end
        const std::string_view name = content.substr(at, nul - at);
        if (!IsSafeRecordName(name)) return std::nullopt;
        at = nul + 1;
        if (content.size() - at < 4) return std::nullopt;  // no room for the size
        const std::uint32_t size = ReadLe32(reinterpret_cast<const unsigned char*>(content.data() + at));
        at += 4;
        if (size > content.size() - at) return std::nullopt;  // data running past the end
        records.push_back({name, content.substr(at, size)});
        at += size;
    }
    return records;
}

std::string BuildPayloadFromRecords(std::string_view records, const PackOptions& options) {
    constexpr auto kMaxSigned = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    if (records.size() > kMaxSigned) throw std::invalid_argument("the files are too large for one payload");
    uLongf streamSize = compressBound(static_cast<uLong>(records.size()));
    std::string stream(streamSize, '\0');
    const int rc = compress2(reinterpret_cast<Bytef*>(stream.data()), &streamSize,
                             reinterpret_cast<const Bytef*>(records.data()), static_cast<uLong>(records.size()),
                             options.level);
    if (rc != Z_OK) throw std::runtime_error("zlib could not compress the files (" + std::to_string(rc) + ")");
    stream.resize(streamSize);
    if (stream.size() + kPayloadHeaderSize > kMaxSigned)
        throw std::invalid_argument("the files are too large for one payload");

    // The launcher refuses a capacity of 0, so even no records get one byte.
    const std::int32_t capacity =
        options.capacity.value_or(std::max<std::int32_t>(static_cast<std::int32_t>(records.size()), 1));
    std::string payload;
    payload.reserve(kPayloadHeaderSize + stream.size() + kTrailerSize);
    AppendLe32(payload, kPayloadMagic);
    AppendLe32(payload, options.tag);
    AppendLe32(payload, options.key);
    AppendLe32(payload, kSecondMagic);
    AppendLe32(payload, static_cast<std::uint32_t>(capacity));
    payload += stream;
    Scramble(reinterpret_cast<unsigned char*>(payload.data()) + 12, payload.size() - 12, options.key);
    AppendLe32(payload, static_cast<std::uint32_t>(payload.size()));
    AppendLe32(payload, kPayloadMagic);
    return payload;
}

std::string BuildPayload(const std::vector<PayloadFile>& files, const PackOptions& options) {
    return BuildPayloadFromRecords(EncodeRecords(files), options);
}

}  // namespace qx::launcher
