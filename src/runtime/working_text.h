#pragma once
// The working text: the converted book held as an in-memory file. Loading
// reads it line by line and records byte offsets; page generation later
// seeks to those offsets and reads chapter bodies.

#include <cstdint>
#include <string>
#include <string_view>

namespace qx::runtime {

class WorkingText {
public:
    // Opens a new, empty file (dropping any previous content).
    void Create();
    // Opens a file holding `bytes`, taking them over without a copy.
    void Adopt(std::string&& bytes);
    // Releases the content; later reads and seeks fail until Create or Adopt.
    void Close();
    bool IsOpen() const { return m_open; }

    // Appends at the end of the file; nothing happens while it is closed.
    void Write(std::string_view bytes);

    // Moves to the start; false when no file is open.
    bool SeekStart();
    // Moves to `offset` (clamped into the file); false when no file is open.
    bool Seek(std::int64_t offset);

    // Reads one line and moves past its line end (LF, or CR LF). The line end
    // is not part of the result. At the end of the file it gives the empty
    // line. The view stays valid until the file is changed.
    std::string_view ReadLine();
    // Reads up to n bytes from the current position.
    std::string_view Read(std::int64_t n);

    std::int64_t Position() const { return static_cast<std::int64_t>(m_pos); }
    std::int64_t Size() const { return static_cast<std::int64_t>(m_bytes.size()); }
    // True when the position has reached the end (also when closed).
    bool AtEnd() const { return m_pos >= m_bytes.size(); }
    std::string_view Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
    std::size_t m_pos = 0;
    bool m_open = false;
};

}  // namespace qx::runtime
