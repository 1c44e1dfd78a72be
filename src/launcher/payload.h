#pragma once
// The payload the launcher carries at the end of its own executable: the
// program's libraries as records (bare file name, size, bytes), compressed
// with zlib, scrambled with a 4-byte key and found through an 8-byte trailer.
//
//   ... executable ... | payload (L bytes) | L (signed) | 0x829AB7A5
//   payload: magic 0x829AB7A5 | tag | key | [scrambled: 0x033E0F0D | capacity | zlib stream]
//
// All integers are 32-bit little-endian.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx::launcher {

inline constexpr std::uint32_t kPayloadMagic = 0x829AB7A5;
inline constexpr std::uint32_t kSecondMagic = 0x033E0F0D;
inline constexpr std::size_t kTrailerSize = 8;
inline constexpr std::size_t kPayloadHeaderSize = 20;  // magic, tag, key, second magic, capacity
// The trailer must start at least this far into the file: nothing shorter
// can be a launcher with a payload.
inline constexpr std::int64_t kSmallestTrailerPosition = 1000;

// The two names of the kernel library, compared without ASCII case.
inline constexpr std::string_view kKernelNames[] = {"vtrun.vlr", "vtrun.vlx"};

// The scrambling routine: buffer[j] ^= k[(j + 1) mod 4], k0 being the key's
// lowest byte. Its own inverse: it scrambles when packing and unscrambles
// at start.
void Scramble(unsigned char* buffer, std::size_t count, std::uint32_t key);

std::uint32_t ReadLe32(const unsigned char* p);
void AppendLe32(std::string& out, std::uint32_t value);

bool IsKernelName(std::string_view name);

// A name that can only name a file directly inside the temporary directory:
// not empty, not "." or "..", no '/', '\\' or ':' (a drive or a stream on
// Windows), no control characters.
bool IsSafeRecordName(std::string_view name);

struct PayloadFile {
    std::string name;
    std::string data;
};

// One record of the decompressed content, pointing into it.
struct RecordView {
    std::string_view name;
    std::string_view data;
};

// The records back to back, each name NUL-terminated and its size before
// its data.
std::string EncodeRecords(const std::vector<PayloadFile>& files);

// Splits decompressed content into its records. Nothing when a record is cut
// short (a name without its NUL, a size field or data running past the end)
// or a name is not safe to use as a file name.
std::optional<std::vector<RecordView>> SplitRecords(std::string_view content);

struct PackOptions {
    PackOptions() = default;
    PackOptions(std::uint32_t tagValue, std::uint32_t keyValue, std::optional<std::int32_t> capacityValue = {},
                int levelValue = 9)
        : tag(tagValue), key(keyValue), capacity(capacityValue), level(levelValue) {}

    std::uint32_t tag = 0;
    std::uint32_t key = 0;
    // The stored capacity; by default exactly the size of the records (at least 1).
    std::optional<std::int32_t> capacity;
    int level = 9;  // zlib compression level
};

// The payload and its trailer, to be appended to a launcher executable.
// Throws std::invalid_argument for a name the launcher would refuse and when
// the records or the payload do not fit a signed 32-bit size.
std::string BuildPayload(const std::vector<PayloadFile>& files, const PackOptions& options);

// Same, from raw records already encoded (tests craft broken ones this way).
std::string BuildPayloadFromRecords(std::string_view records, const PackOptions& options);

}  // namespace qx::launcher
