#include "epub/zip_writer.h"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace qx::epub {
namespace {

// Every entry carries the same date, so that the same book gives the same
// archive.
zip_fileinfo FileInfo() {
    zip_fileinfo info;
    std::memset(&info, 0, sizeof info);
    info.tmz_date.tm_year = 2000;
    info.tmz_date.tm_mon = 0;
    info.tmz_date.tm_mday = 1;
    return info;
}

}  // namespace

ZipWriter::ZipWriter(const std::filesystem::path& path) {
    m_zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    m_ok = m_zip != nullptr;
}

ZipWriter::~ZipWriter() {
    if (m_zip) zipClose(static_cast<zipFile>(m_zip), nullptr);
}

bool ZipWriter::Add(const std::string& name, std::string_view bytes, bool deflate) {
    if (!m_ok) return false;
    auto* zip = static_cast<zipFile>(m_zip);
    const zip_fileinfo info = FileInfo();
    // No zip64 extra fields: an e-book's entries stay far below 4 GB, and
    // readers want the mimetype entry without any extra field.
    const int opened = zipOpenNewFileInZip4_64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                               deflate ? Z_DEFLATED : 0, deflate ? Z_DEFAULT_COMPRESSION : 0, 0,
                                               -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, 0, 0, 0);
    if (opened != ZIP_OK) {
        m_ok = false;
        return false;
    }
    // zipWriteInFileInZip takes an unsigned int length: large texts go in pieces.
    constexpr std::size_t kPiece = 1u << 30;
    for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
        const auto n = static_cast<unsigned>(std::min(kPiece, bytes.size() - at));
        if (zipWriteInFileInZip(zip, bytes.data() + at, n) != ZIP_OK) {
            m_ok = false;
            break;
        }
    }
    if (zipCloseFileInZip(zip) != ZIP_OK) m_ok = false;
    return m_ok;
}

CompressedEntry Compress(std::string_view bytes) {
    CompressedEntry entry;
    entry.size = bytes.size();
    entry.crc = crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY);
    entry.data.resize(deflateBound(&z, static_cast<uLong>(bytes.size())) + 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(entry.data.data());
    z.avail_out = static_cast<uInt>(entry.data.size());
    deflate(&z, Z_FINISH);
    entry.data.resize(z.total_out);
    deflateEnd(&z);
    return entry;
}

bool ZipWriter::AddCompressed(const std::string& name, const CompressedEntry& entry) {
    if (!m_ok) return false;
    auto* zip = static_cast<zipFile>(m_zip);
    const zip_fileinfo info = FileInfo();
    if (zipOpenNewFileInZip4_64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                Z_DEFAULT_COMPRESSION, 1, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0,
                                0, 0, 0) != ZIP_OK) {
        m_ok = false;
        return false;
    }
    if (!entry.data.empty() &&
        zipWriteInFileInZip(zip, entry.data.data(), static_cast<unsigned>(entry.data.size())) != ZIP_OK) {
        m_ok = false;
    }
    if (zipCloseFileInZipRaw64(zip, entry.size, entry.crc) != ZIP_OK) m_ok = false;
    return m_ok;
}

bool ZipWriter::AddStored(const std::string& name, std::string_view bytes) { return Add(name, bytes, false); }

// Through Compress, so that an entry is the same whether compressed ahead on
// another thread or here (minizip would also mark entries it found to be
// text, which it cannot know of one compressed ahead).
bool ZipWriter::AddDeflated(const std::string& name, std::string_view bytes) {
    return AddCompressed(name, Compress(bytes));
}

bool ZipWriter::Close() {
    if (!m_zip) return false;
    const int closed = zipClose(static_cast<zipFile>(m_zip), nullptr);
    m_zip = nullptr;
    return m_ok && closed == ZIP_OK;
}

}  // namespace qx::epub
