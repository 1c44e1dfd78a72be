#pragma once
// Writing a zip archive entry by entry through zlib's minizip, so that an
// e-book's documents are compressed as they are made and never all held in
// memory at once.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace qx::epub {

// An entry compressed ahead of writing (raw deflate, as zip stores it), so
// that entries can be compressed on several threads and written in order.
struct CompressedEntry {
    std::string data;
    unsigned long crc = 0;
    std::uint64_t size = 0;  // uncompressed
};
// Deflate at zlib's default level, the same bytes AddDeflated writes.
CompressedEntry Compress(std::string_view bytes);

class ZipWriter {
public:
    // Creates (truncating) the archive at `path`; Ok() tells whether it could.
    explicit ZipWriter(const std::filesystem::path& path);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    bool Ok() const { return m_ok; }
    // An entry stored as it is, without compression or extra fields (the
    // first entry of an EPUB, "mimetype", must be so).
    bool AddStored(const std::string& name, std::string_view bytes);
    // An entry compressed with deflate at zlib's default level.
    bool AddDeflated(const std::string& name, std::string_view bytes);
    // An entry compressed with Compress.
    bool AddCompressed(const std::string& name, const CompressedEntry& entry);
    // Writes the central directory and closes the file; false when anything
    // failed along the way.
    bool Close();

private:
    bool Add(const std::string& name, std::string_view bytes, bool deflate);

    void* m_zip = nullptr;
    bool m_ok = false;
};

}  // namespace qx::epub
