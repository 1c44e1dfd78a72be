#pragma once
// The record table: a small two-file database of named records. The program
// keeps its parameters in one (data.vdb holds the records, data.vdt the long
// texts they point to).
//
// data.vdb (little-endian): "WVDB", 00 00 01 00, time stamp (double, days
// since 1899-12-30), record count, next record id, record length, 84 zero
// bytes, field count, one 72-byte descriptor per field (name 20 bytes, type,
// offset inside the record, width), then the records. A record starts with
// its 4-byte id; a text field holds GBK bytes zero-filled to its width; a long
// text field holds the number of the first block of the text in data.vdt
// (0 for the empty text).
//
// data.vdt: 512-byte blocks; block 0 is the header ("WVDT", 00 00 01 00, time
// stamp, block count including the header). Every other block holds the
// previous and next block of its text (0 at either end), the number of text
// bytes used (at most 500) and 500 bytes of text.
//
// Every read is bounds-checked: a damaged file gives RecordTableFormatError,
// never a read past the end, an endless chain or an allocation from a count
// the file cannot hold. A save never leaves the pair half-written (see
// WriteRecordTable).

#include <cstdint>
#include <filesystem>
#include <system_error>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qx::runtime {

enum class FieldType : std::uint32_t {
    ShortText = 10,      // GBK bytes inside the record, zero-filled to the width
    LongText = 12,  // a chain of blocks in the long-text file
};

struct FieldDescriptor {
    std::string name;  // GBK, at most 20 bytes in the file
    FieldType type = FieldType::ShortText;
    std::uint32_t offset = 0;  // inside the record; the record id takes bytes 0 to 3
    // Bytes of a text field. A long-text field always takes 4 bytes (its first
    // block number); its width is kept as read and is 0 in new tables.
    std::uint32_t width = 0;

    bool operator==(const FieldDescriptor&) const = default;
};

struct Record {
    std::uint32_t id = 0;
    std::vector<std::string> values;  // one per field, in field order; GBK

    bool operator==(const Record&) const = default;
};

struct RecordTable {
    double timeStamp = 0;      // days since 1899-12-30, local time
    std::uint32_t nextId = 1;  // ids are never reused: a deleted record leaves a gap
    std::uint32_t recordLength = 4;
    std::vector<FieldDescriptor> fields;
    std::vector<Record> records;  // in table order; rows are numbered from 1 in this order

    bool operator==(const RecordTable&) const = default;
};

// Which of the two files a format error is about.
enum class TableFile { Records, LongTexts };

// A table file that is missing, unreadable or damaged. Carries the file and
// the byte offset at which reading found the fault.
class RecordTableFormatError : public std::runtime_error {
public:
    RecordTableFormatError(TableFile which, std::filesystem::path file, std::uint64_t offset,
                           const std::string& reason);
    TableFile Which() const { return m_which; }
    const std::filesystem::path& File() const { return m_file; }  // empty when parsed from memory
    std::uint64_t Offset() const { return m_offset; }
    const std::string& Reason() const { return m_reason; }

private:
    TableFile m_which;
    std::filesystem::path m_file;
    std::uint64_t m_offset;
    std::string m_reason;
};

inline constexpr std::uint32_t kLongTextBlockSize = 512;
inline constexpr std::uint32_t kLongTextBytesPerBlock = 500;

// The long-text file that belongs to a record file: same name, extension .vdt.
std::filesystem::path LongTextPathFor(const std::filesystem::path& vdbPath);

// A table with these fields laid out one after the other behind the record id
// (offsets and record length computed), no records, next id 1.
RecordTable NewRecordTable(std::vector<FieldDescriptor> fields);

// Appends a record with the next id and returns that id. Missing values are
// empty; text values are fitted to their field width.
std::uint32_t AddRecord(RecordTable& table, std::vector<std::string> values);

// `text` as a text field of `width` bytes stores it: up to its first zero
// byte, cut so that no GBK double-byte character is split.
std::string FitTextField(std::string_view text, std::uint32_t width);

// Current local time as a table time stamp.
double CurrentTimeStamp();

// Reads both files. Throws RecordTableFormatError when either is missing,
// unreadable or damaged.
RecordTable ReadRecordTable(const std::filesystem::path& vdbPath, const std::filesystem::path& vdtPath);

// The same on file contents held in memory (e.g. built-in copies).
RecordTable ParseRecordTable(std::string_view vdbBytes, std::string_view vdtBytes);

// Both files' contents with the long texts laid out compactly from block 1.
// Throws std::invalid_argument when the table's own layout is inconsistent
// (see WriteRecordTable).
struct RecordTableBytes {
    std::string vdb;
    std::string vdt;
};
RecordTableBytes EncodeRecordTable(const RecordTable& table);

// Replaces both files. Each is written to a temporary file beside it and
// renamed over the old one, the long-text file first. The new long-text file
// keeps every block that the table on disk still points to, so a failure or
// crash between the two renames leaves the old table readable and whole;
// blocks of texts that did not change are reused, freed blocks are zeroed and
// the file is cut after its last used block.
//
// Returns false when a file could not be written or renamed (nothing of the
// new table is then visible through the old record file). Throws
// std::invalid_argument when the table itself is inconsistent: a field of
// unknown type, outside the record or overlapping another field or the id,
// or a record with more values than fields. A text longer than its field is
// cut (FitTextField); the next id written is at least one above every id.
bool WriteRecordTable(const RecordTable& table, const std::filesystem::path& vdbPath,
                      const std::filesystem::path& vdtPath);
// The same, telling why a file could not be written.
bool WriteRecordTable(const RecordTable& table, const std::filesystem::path& vdbPath,
                      const std::filesystem::path& vdtPath, std::error_code& error);

// The data-source view of a table file, as the parameter store uses it: rows
// and columns numbered from 1, every write saved to disk at once. Holds no
// open file between calls, so the files may be replaced while it is open as
// long as it is opened again before the next read.
class RecordDataSource {
public:
    // Opens the record file and the long-text file beside it. On failure the
    // source is closed and the error is thrown.
    void Open(const std::filesystem::path& vdbPath);
    void Close();
    bool IsOpen() const { return m_open; }

    int RowCount() const;
    int ColumnCount() const;
    // The field's text; the empty text outside the table or when closed.
    std::string Read(int row, int column) const;
    // Stores the text (fitted to a text field's width) and saves both files
    // with a new time stamp. False, with nothing changed, when the table is
    // closed, the row or column is outside it, or the save failed.
    bool Write(int row, int column, std::string_view text);
    // Why the last Write that failed to save did (empty after a refused row
    // or column, and after a save that went through).
    const std::error_code& LastWriteError() const { return m_writeError; }

    const RecordTable& Table() const { return m_table; }

private:
    bool m_open = false;
    std::filesystem::path m_vdbPath;
    std::filesystem::path m_vdtPath;
    RecordTable m_table;
    std::error_code m_writeError;
};

}  // namespace qx::runtime
