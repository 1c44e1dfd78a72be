#include "runtime/working_text.h"

#include <algorithm>
#include <cstring>

namespace qx::runtime {

void WorkingText::Create() {
    m_bytes.clear();
    m_pos = 0;
    m_open = true;
}

void WorkingText::Adopt(std::string&& bytes) {
    m_bytes = std::move(bytes);
    m_pos = 0;
    m_open = true;
}

void WorkingText::Close() {
    std::string().swap(m_bytes);
    m_pos = 0;
    m_open = false;
}

void WorkingText::Write(std::string_view bytes) {
    if (!m_open) return;
    m_bytes.append(bytes);
}

bool WorkingText::SeekStart() { return Seek(0); }

bool WorkingText::Seek(std::int64_t offset) {
    if (!m_open) return false;
    m_pos = static_cast<std::size_t>(std::clamp<std::int64_t>(offset, 0, Size()));
    return true;
}

std::string_view WorkingText::ReadLine() {
    if (m_pos >= m_bytes.size()) return {};
    const char* begin = m_bytes.data() + m_pos;
    const std::size_t left = m_bytes.size() - m_pos;
    const void* lf = std::memchr(begin, '\n', left);
    std::size_t length = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - begin) : left;
    m_pos += lf ? length + 1 : length;
    if (lf && length > 0 && begin[length - 1] == '\r') --length;
    return {begin, length};
}

std::string_view WorkingText::Read(std::int64_t n) {
    if (n <= 0 || m_pos >= m_bytes.size()) return {};
    const std::size_t count = std::min(static_cast<std::size_t>(n), m_bytes.size() - m_pos);
    std::string_view out(m_bytes.data() + m_pos, count);
    m_pos += count;
    return out;
}

}  // namespace qx::runtime
