#include "runtime/record_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <optional>
#include <random>
#include <unordered_map>

#include "runtime/files.h"

namespace qx::runtime {
namespace {

constexpr std::string_view kRecordMagic = "WVDB";
constexpr std::string_view kLongTextMagic = "WVDT";
constexpr std::string_view kVersion{"\x00\x00\x01\x00", 4};

constexpr std::uint64_t kRecordHeaderSize = 116;  // up to the first field descriptor
constexpr std::uint64_t kFieldCountOffset = 112;
constexpr std::uint64_t kDescriptorSize = 72;
constexpr std::uint64_t kFieldNameSize = 20;
constexpr std::uint32_t kLongTextSlot = 4;  // a long-text field holds its first block number
constexpr std::uint32_t kMaxRecordLength = 65536;
constexpr std::uint64_t kBlockTextOffset = 12;  // previous, next, used count, then the text

// Days between 1899-12-30, where table time stamps count from, and 1970-01-01.
constexpr double kUnixEpochInTableDays = 25569.0;

std::uint64_t ToU64(std::size_t n) { return static_cast<std::uint64_t>(n); }
std::size_t ToSize(std::uint64_t n) { return static_cast<std::size_t>(n); }

std::string Describe(TableFile which, const std::filesystem::path& file) {
    if (!file.empty()) return file.string();
    return which == TableFile::Records ? "record file" : "long-text file";
}

std::string Num(std::uint64_t n) { return std::to_string(n); }

// Bounds-checked little-endian reads over one file's bytes; every fault is a
// RecordTableFormatError naming the file and the offset.
class ByteReader {
public:
    ByteReader(std::string_view bytes, TableFile which, const std::filesystem::path& file)
        : m_bytes(bytes), m_which(which), m_file(file) {}

    std::uint64_t Size() const { return ToU64(m_bytes.size()); }

    [[noreturn]] void Fail(std::uint64_t offset, const std::string& reason) const {
        throw RecordTableFormatError(m_which, m_file, offset, reason);
    }

    // Fails unless `size` bytes from `offset` lie inside the file.
    void Require(std::uint64_t offset, std::uint64_t size, std::string_view what) const {
        if (offset > Size() || size > Size() - offset) {
            Fail(std::min(offset, Size()), std::string(what) + " needs bytes " + Num(offset) + " to " +
                                               Num(offset + size) + "; the file has " + Num(Size()));
        }
    }

    std::string_view Bytes(std::uint64_t offset, std::uint64_t size, std::string_view what) const {
        Require(offset, size, what);
        return m_bytes.substr(ToSize(offset), ToSize(size));
    }

    std::uint32_t U32(std::uint64_t offset, std::string_view what) const {
        const std::string_view b = Bytes(offset, 4, what);
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(b[static_cast<std::size_t>(i)]);
        return v;
    }

    double F64(std::uint64_t offset, std::string_view what) const {
        const std::string_view b = Bytes(offset, 8, what);
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i)
            bits = (bits << 8) | static_cast<unsigned char>(b[static_cast<std::size_t>(i)]);
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

private:
    std::string_view m_bytes;
    TableFile m_which;
    const std::filesystem::path& m_file;
};

void PutU32(std::string& out, std::size_t offset, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) out[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutF64(std::string& out, std::size_t offset, double v) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof v);
    for (std::size_t i = 0; i < 8; ++i) out[offset + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

// Text up to its first zero byte.
std::string_view UpToZero(std::string_view bytes) {
    const auto zero = bytes.find('\0');
    return zero == std::string_view::npos ? bytes : bytes.substr(0, zero);
}

std::uint32_t SlotSize(const FieldDescriptor& f) {
    return f.type == FieldType::ShortText ? f.width : kLongTextSlot;
}

struct LayoutFault {
    std::size_t field;
    std::string reason;
};

// Checks that every field has a known type, lies inside the record behind the
// id and overlaps no other field: the writer relies on it to fill a record
// without one field clobbering another.
std::optional<LayoutFault> CheckLayout(const std::vector<FieldDescriptor>& fields,
                                       std::uint32_t recordLength) {
    if (recordLength < 4 || recordLength > kMaxRecordLength) {
        return LayoutFault{fields.size(), "record length " + Num(recordLength) + " is not between 4 and " +
                                              Num(kMaxRecordLength)};
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldDescriptor& f = fields[i];
        if (f.type != FieldType::ShortText && f.type != FieldType::LongText) {
            return LayoutFault{i,
                               "field type " + Num(static_cast<std::uint32_t>(f.type)) + " is not supported"};
        }
        if (f.offset < 4)
            return LayoutFault{i, "field at offset " + Num(f.offset) + " overlaps the record id"};
        if (ToU64(f.offset) + SlotSize(f) > recordLength) {
            return LayoutFault{i, "field at offset " + Num(f.offset) + " of " + Num(SlotSize(f)) +
                                      " bytes lies outside the record of " + Num(recordLength) + " bytes"};
        }
    }
    std::vector<std::size_t> order(fields.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return fields[a].offset < fields[b].offset; });
    // Each field against the one before it that reaches furthest: a field
    // of no bytes between two others must not hide their overlap.
    const FieldDescriptor* reaching = nullptr;
    for (const std::size_t i : order) {
        const FieldDescriptor& f = fields[i];
        if (SlotSize(f) == 0) continue;
        if (reaching && ToU64(reaching->offset) + SlotSize(*reaching) > f.offset) {
            return LayoutFault{i, "field at offset " + Num(f.offset) + " overlaps the field at offset " +
                                      Num(reaching->offset)};
        }
        if (!reaching || ToU64(f.offset) + SlotSize(f) > ToU64(reaching->offset) + SlotSize(*reaching)) reaching = &f;
    }
    return std::nullopt;
}

// A long text as it lies in an existing long-text file.
struct StoredChain {
    std::size_t record;
    std::size_t field;
    std::vector<std::uint32_t> blocks;
};

struct ParsedTable {
    RecordTable table;
    std::vector<StoredChain> chains;  // every non-empty chain, each block in at most one
    std::uint32_t blockCount = 1;
};

ParsedTable Parse(std::string_view vdbBytes, std::string_view vdtBytes, const std::filesystem::path& vdbPath,
                  const std::filesystem::path& vdtPath) {
    const ByteReader db(vdbBytes, TableFile::Records, vdbPath);
    const ByteReader dt(vdtBytes, TableFile::LongTexts, vdtPath);
    ParsedTable parsed;
    RecordTable& table = parsed.table;

    db.Require(0, kRecordHeaderSize, "the header");
    if (db.Bytes(0, 4, "the magic") != kRecordMagic) db.Fail(0, "not a record file (no WVDB)");
    if (db.Bytes(4, 4, "the version") != kVersion) db.Fail(4, "unknown version bytes");
    table.timeStamp = db.F64(8, "the time stamp");
    const std::uint32_t recordCount = db.U32(16, "the record count");
    table.nextId = db.U32(20, "the next id");
    table.recordLength = db.U32(24, "the record length");
    const std::uint32_t fieldCount = db.U32(kFieldCountOffset, "the field count");
    if (table.recordLength < 4 || table.recordLength > kMaxRecordLength) {
        db.Fail(24, "record length " + Num(table.recordLength) + " is not between 4 and " +
                        Num(kMaxRecordLength));
    }

    // Counts are checked against the file size before anything is sized by them.
    const std::uint64_t recordsStart = kRecordHeaderSize + kDescriptorSize * fieldCount;
    if (recordsStart > db.Size()) {
        db.Fail(kFieldCountOffset, "field count " + Num(fieldCount) + " needs " + Num(recordsStart) +
                                       " bytes; the file has " + Num(db.Size()));
    }
    const std::uint64_t recordsSize = ToU64(recordCount) * table.recordLength;
    if (recordsSize > db.Size() - recordsStart) {
        db.Fail(16, "record count " + Num(recordCount) + " needs " + Num(recordsStart + recordsSize) +
                        " bytes; the file has " + Num(db.Size()));
    }

    table.fields.resize(fieldCount);
    for (std::uint32_t i = 0; i < fieldCount; ++i) {
        const std::uint64_t d = kRecordHeaderSize + kDescriptorSize * i;
        FieldDescriptor& f = table.fields[i];
        f.name = std::string(UpToZero(db.Bytes(d, kFieldNameSize, "a field name")));
        f.type = static_cast<FieldType>(db.U32(d + 20, "a field type"));
        f.offset = db.U32(d + 24, "a field offset");
        f.width = db.U32(d + 28, "a field width");
    }
    if (const auto fault = CheckLayout(table.fields, table.recordLength)) {
        db.Fail(kRecordHeaderSize + kDescriptorSize * fault->field + 20, fault->reason);
    }

    dt.Require(0, kLongTextBlockSize, "the header block");
    if (dt.Bytes(0, 4, "the magic") != kLongTextMagic) dt.Fail(0, "not a long-text file (no WVDT)");
    if (dt.Bytes(4, 4, "the version") != kVersion) dt.Fail(4, "unknown version bytes");
    // The time stamp at offset 8 is not compared with the record file's: after
    // a save cut short between the two renames the long-text file is newer,
    // and the pair is still whole.
    parsed.blockCount = dt.U32(16, "the block count");
    if (parsed.blockCount == 0) dt.Fail(16, "block count 0 leaves out the header block");
    if (ToU64(parsed.blockCount) * kLongTextBlockSize > dt.Size()) {
        dt.Fail(16, "block count " + Num(parsed.blockCount) + " needs " +
                        Num(ToU64(parsed.blockCount) * kLongTextBlockSize) + " bytes; the file has " +
                        Num(dt.Size()));
    }

    // Which text each block belongs to. A block met twice means a chain that
    // loops or two texts sharing blocks; both are refused, which also bounds
    // the texts read to the size of the file.
    std::vector<std::uint32_t> owner;
    const bool hasLongText =
        std::any_of(table.fields.begin(), table.fields.end(),
                    [](const FieldDescriptor& f) { return f.type == FieldType::LongText; });
    if (hasLongText) owner.assign(parsed.blockCount, 0);
    std::uint32_t chainTag = 0;

    table.records.resize(recordCount);
    for (std::uint32_t r = 0; r < recordCount; ++r) {
        const std::uint64_t base = recordsStart + ToU64(r) * table.recordLength;
        Record& record = table.records[r];
        record.id = db.U32(base, "a record id");
        record.values.resize(fieldCount);
        for (std::uint32_t c = 0; c < fieldCount; ++c) {
            const FieldDescriptor& f = table.fields[c];
            const std::uint64_t at = base + f.offset;
            if (f.type == FieldType::ShortText) {
                record.values[c] = std::string(UpToZero(db.Bytes(at, f.width, "a text field")));
                continue;
            }
            std::uint32_t block = db.U32(at, "a long-text field");
            if (block == 0) continue;
            if (block >= parsed.blockCount) {
                db.Fail(at, "long text starts at block " + Num(block) +
                                " past the end of the long-text file (" + Num(parsed.blockCount) +
                                " blocks)");
            }
            StoredChain chain{r, c, {}};
            ++chainTag;
            std::string& text = record.values[c];
            std::uint64_t linkOffset = 0;  // where the pointer to the current block was read
            while (block != 0) {
                if (owner[block] != 0) {
                    const std::uint64_t where = chain.blocks.empty() ? at : linkOffset;
                    const std::string reason =
                        "block " + Num(block) +
                        (owner[block] == chainTag ? " comes round again in one long text"
                                                  : " belongs to two long texts");
                    if (chain.blocks.empty()) db.Fail(where, reason);
                    dt.Fail(where, reason);
                }
                owner[block] = chainTag;
                chain.blocks.push_back(block);
                const std::uint64_t b = ToU64(block) * kLongTextBlockSize;
                const std::uint32_t used = dt.U32(b + 8, "a block's used count");
                if (used > kLongTextBytesPerBlock) {
                    dt.Fail(b + 8, "block " + Num(block) + " uses " + Num(used) + " bytes; a block holds " +
                                       Num(kLongTextBytesPerBlock));
                }
                text.append(dt.Bytes(b + kBlockTextOffset, used, "a block's text"));
                linkOffset = b + 4;
                block = dt.U32(linkOffset, "a block's next block");
                if (block >= parsed.blockCount) {
                    dt.Fail(linkOffset, "next block " + Num(block) + " lies past the end of the file (" +
                                            Num(parsed.blockCount) + " blocks)");
                }
            }
            parsed.chains.push_back(std::move(chain));
        }
    }
    return parsed;
}

// Lays out the table's files. Blocks of `old` (the table now on disk, whose
// long-text bytes are `oldVdt`) are kept where they are; a text equal to one
// of them reuses its chain, other texts go into blocks that no old text uses.
RecordTableBytes Encode(const RecordTable& table, const ParsedTable* old, std::string_view oldVdt) {
    if (const auto fault = CheckLayout(table.fields, table.recordLength)) {
        throw std::invalid_argument("record table: " + fault->reason);
    }
    if (table.records.size() > std::numeric_limits<std::uint32_t>::max() ||
        table.fields.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::invalid_argument("record table: too many records or fields");
    }
    std::uint64_t nextId = table.nextId;
    for (const Record& record : table.records) {
        if (record.values.size() > table.fields.size()) {
            throw std::invalid_argument("record table: record " + Num(record.id) +
                                        " has more values than fields");
        }
        nextId = std::max<std::uint64_t>(nextId, ToU64(record.id) + 1);
    }
    nextId = std::min<std::uint64_t>(nextId, std::numeric_limits<std::uint32_t>::max());

    // Blocks taken: every block of the old table, so that its record file stays
    // valid until the new one replaces it.
    std::vector<bool> taken(1, true);
    std::unordered_map<std::string_view, std::vector<const StoredChain*>> reusable;
    if (old != nullptr) {
        taken.assign(old->blockCount, false);
        taken[0] = true;
        for (const StoredChain& chain : old->chains) {
            for (const std::uint32_t b : chain.blocks) taken[b] = true;
            reusable[old->table.records[chain.record].values[chain.field]].push_back(&chain);
        }
    }
    std::size_t freeCursor = 1;
    auto takeFreeBlock = [&]() -> std::uint64_t {
        while (freeCursor < taken.size() && taken[freeCursor]) ++freeCursor;
        if (freeCursor == taken.size()) taken.push_back(false);
        taken[freeCursor] = true;
        return freeCursor;
    };

    struct NewChain {
        std::string_view text;
        std::vector<std::uint64_t> blocks;
    };
    std::vector<NewChain> newChains;
    // First block of each long-text value, per record and field (0 for none).
    std::vector<std::vector<std::uint64_t>> firstBlocks(table.records.size());
    for (std::size_t r = 0; r < table.records.size(); ++r) {
        firstBlocks[r].assign(table.fields.size(), 0);
        const Record& record = table.records[r];
        for (std::size_t c = 0; c < record.values.size(); ++c) {
            const std::string& text = record.values[c];
            if (table.fields[c].type != FieldType::LongText || text.empty()) continue;
            if (const auto it = reusable.find(text); it != reusable.end() && !it->second.empty()) {
                firstBlocks[r][c] = it->second.back()->blocks.front();
                it->second.pop_back();
                continue;
            }
            NewChain chain{text, {}};
            const std::size_t count = (text.size() + kLongTextBytesPerBlock - 1) / kLongTextBytesPerBlock;
            chain.blocks.reserve(count);
            for (std::size_t k = 0; k < count; ++k) chain.blocks.push_back(takeFreeBlock());
            firstBlocks[r][c] = chain.blocks.front();
            newChains.push_back(std::move(chain));
        }
    }

    std::size_t blockCount = taken.size();
    while (blockCount > 1 && !taken[blockCount - 1]) --blockCount;
    if (blockCount > std::numeric_limits<std::uint32_t>::max()) {
        throw std::invalid_argument("record table: long texts too large for the long-text file");
    }

    RecordTableBytes out;
    out.vdt.assign(blockCount * kLongTextBlockSize, '\0');
    out.vdt.replace(0, 4, kLongTextMagic);
    out.vdt.replace(4, 4, kVersion);
    PutF64(out.vdt, 8, table.timeStamp);
    PutU32(out.vdt, 16, static_cast<std::uint32_t>(blockCount));
    if (old != nullptr) {
        for (const StoredChain& chain : old->chains) {
            for (const std::uint32_t b : chain.blocks) {
                const std::size_t at = ToSize(ToU64(b) * kLongTextBlockSize);
                out.vdt.replace(at, kLongTextBlockSize, oldVdt.substr(at, kLongTextBlockSize));
            }
        }
    }
    for (const NewChain& chain : newChains) {
        for (std::size_t k = 0; k < chain.blocks.size(); ++k) {
            const std::size_t at = ToSize(chain.blocks[k] * kLongTextBlockSize);
            const std::string_view part =
                chain.text.substr(k * kLongTextBytesPerBlock, kLongTextBytesPerBlock);
            PutU32(out.vdt, at, k == 0 ? 0 : static_cast<std::uint32_t>(chain.blocks[k - 1]));
            PutU32(out.vdt, at + 4,
                   k + 1 == chain.blocks.size() ? 0 : static_cast<std::uint32_t>(chain.blocks[k + 1]));
            PutU32(out.vdt, at + 8, static_cast<std::uint32_t>(part.size()));
            out.vdt.replace(at + kBlockTextOffset, part.size(), part);
        }
    }

    const std::size_t recordsStart = ToSize(kRecordHeaderSize + kDescriptorSize * table.fields.size());
    out.vdb.assign(recordsStart + table.records.size() * table.recordLength, '\0');
    out.vdb.replace(0, 4, kRecordMagic);
    out.vdb.replace(4, 4, kVersion);
    PutF64(out.vdb, 8, table.timeStamp);
    PutU32(out.vdb, 16, static_cast<std::uint32_t>(table.records.size()));
    PutU32(out.vdb, 20, static_cast<std::uint32_t>(nextId));
    PutU32(out.vdb, 24, table.recordLength);
    PutU32(out.vdb, ToSize(kFieldCountOffset), static_cast<std::uint32_t>(table.fields.size()));
    for (std::size_t i = 0; i < table.fields.size(); ++i) {
        const FieldDescriptor& f = table.fields[i];
        const std::size_t d = ToSize(kRecordHeaderSize + kDescriptorSize * i);
        const std::string name = FitTextField(f.name, static_cast<std::uint32_t>(kFieldNameSize));
        out.vdb.replace(d, name.size(), name);
        PutU32(out.vdb, d + 20, static_cast<std::uint32_t>(f.type));
        PutU32(out.vdb, d + 24, f.offset);
        PutU32(out.vdb, d + 28, f.width);
    }
    for (std::size_t r = 0; r < table.records.size(); ++r) {
        const Record& record = table.records[r];
        const std::size_t base = recordsStart + r * table.recordLength;
        PutU32(out.vdb, base, record.id);
        for (std::size_t c = 0; c < record.values.size(); ++c) {
            const FieldDescriptor& f = table.fields[c];
            if (f.type == FieldType::ShortText) {
                const std::string text = FitTextField(record.values[c], f.width);
                out.vdb.replace(base + f.offset, text.size(), text);
            } else {
                PutU32(out.vdb, base + f.offset, static_cast<std::uint32_t>(firstBlocks[r][c]));
            }
        }
    }
    return out;
}

}  // namespace

RecordTableFormatError::RecordTableFormatError(TableFile which, std::filesystem::path file,
                                               std::uint64_t offset, const std::string& reason)
    : std::runtime_error(Describe(which, file) + ": byte " + Num(offset) + ": " + reason),
      m_which(which),
      m_file(std::move(file)),
      m_offset(offset),
      m_reason(reason) {}

std::filesystem::path LongTextPathFor(const std::filesystem::path& vdbPath) {
    auto vdt = vdbPath;
    vdt.replace_extension(".vdt");
    return vdt;
}

RecordTable NewRecordTable(std::vector<FieldDescriptor> fields) {
    RecordTable table;
    std::uint64_t offset = 4;
    for (FieldDescriptor& f : fields) {
        f.offset = static_cast<std::uint32_t>(std::min<std::uint64_t>(offset, kMaxRecordLength + 1));
        offset += SlotSize(f);
    }
    if (offset > kMaxRecordLength)
        throw std::invalid_argument("record table: fields too wide for one record");
    table.recordLength = static_cast<std::uint32_t>(offset);
    table.fields = std::move(fields);
    if (const auto fault = CheckLayout(table.fields, table.recordLength)) {
        throw std::invalid_argument("record table: " + fault->reason);
    }
    return table;
}

std::uint32_t AddRecord(RecordTable& table, std::vector<std::string> values) {
    if (values.size() > table.fields.size()) {
        throw std::invalid_argument("record table: more values than fields");
    }
    std::uint64_t id = table.nextId;
    for (const Record& record : table.records) id = std::max<std::uint64_t>(id, ToU64(record.id) + 1);
    if (id >= std::numeric_limits<std::uint32_t>::max())
        throw std::invalid_argument("record table: no id left");
    values.resize(table.fields.size());
    for (std::size_t c = 0; c < values.size(); ++c) {
        if (table.fields[c].type == FieldType::ShortText)
            values[c] = FitTextField(values[c], table.fields[c].width);
    }
    table.records.push_back(Record{static_cast<std::uint32_t>(id), std::move(values)});
    table.nextId = static_cast<std::uint32_t>(id + 1);
    return static_cast<std::uint32_t>(id);
}

std::string FitTextField(std::string_view text, std::uint32_t width) {
    text = UpToZero(text);
    std::size_t end = 0;
    while (end < text.size()) {
        const auto byte = static_cast<unsigned char>(text[end]);
        // A GBK lead byte takes its trail byte with it; a lead byte with no
        // trail byte left in the text counts alone.
        const std::size_t step = (byte >= 0x81 && byte <= 0xFE && end + 1 < text.size()) ? 2 : 1;
        if (end + step > width) break;
        end += step;
    }
    return std::string(text.substr(0, end));
}

double CurrentTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<double>(now + local.tm_gmtoff) / 86400.0 + kUnixEpochInTableDays;
}

RecordTable ParseRecordTable(std::string_view vdbBytes, std::string_view vdtBytes) {
    return Parse(vdbBytes, vdtBytes, {}, {}).table;
}

RecordTable ReadRecordTable(const std::filesystem::path& vdbPath, const std::filesystem::path& vdtPath) {
    const auto vdb = ReadWholeFile(vdbPath);
    if (!vdb)
        throw RecordTableFormatError(TableFile::Records, vdbPath, 0, "the file is missing or cannot be read");
    const auto vdt = ReadWholeFile(vdtPath);
    if (!vdt)
        throw RecordTableFormatError(TableFile::LongTexts, vdtPath, 0,
                                     "the file is missing or cannot be read");
    return Parse(*vdb, *vdt, vdbPath, vdtPath).table;
}

RecordTableBytes EncodeRecordTable(const RecordTable& table) { return Encode(table, nullptr, {}); }

bool WriteRecordTable(const RecordTable& table, const std::filesystem::path& vdbPath,
                      const std::filesystem::path& vdtPath) {
    std::error_code error;
    return WriteRecordTable(table, vdbPath, vdtPath, error);
}

bool WriteRecordTable(const RecordTable& table, const std::filesystem::path& vdbPath,
                      const std::filesystem::path& vdtPath, std::error_code& error) {
    // The table now on disk, if there is a whole one: its blocks must survive
    // until the new record file is in place.
    const auto oldVdb = ReadWholeFile(vdbPath);
    const auto oldVdt = oldVdb ? ReadWholeFile(vdtPath) : std::nullopt;
    std::optional<ParsedTable> old;
    if (oldVdb && oldVdt) {
        try {
            old = Parse(*oldVdb, *oldVdt, vdbPath, vdtPath);
        } catch (const RecordTableFormatError&) {
            // A damaged table has nothing worth keeping: it is replaced whole.
        }
    }
    const RecordTableBytes bytes =
        Encode(table, old ? &*old : nullptr, oldVdt ? *oldVdt : std::string_view{});
    // The long-text file goes first: until the record file is renamed, the
    // old record file still reads its own texts from the new long-text file.
    return WriteFileAtomically(vdtPath, bytes.vdt, error) && WriteFileAtomically(vdbPath, bytes.vdb, error);
}

void RecordDataSource::Open(const std::filesystem::path& vdbPath) {
    Close();
    const auto vdtPath = LongTextPathFor(vdbPath);
    m_table = ReadRecordTable(vdbPath, vdtPath);
    m_vdbPath = vdbPath;
    m_vdtPath = vdtPath;
    m_open = true;
}

void RecordDataSource::Close() {
    m_open = false;
    m_table = RecordTable{};
    m_vdbPath.clear();
    m_vdtPath.clear();
}

int RecordDataSource::RowCount() const {
    return m_open ? static_cast<int>(
                        std::min<std::size_t>(m_table.records.size(), std::numeric_limits<int>::max()))
                  : 0;
}

int RecordDataSource::ColumnCount() const { return m_open ? static_cast<int>(m_table.fields.size()) : 0; }

std::string RecordDataSource::Read(int row, int column) const {
    if (row < 1 || row > RowCount() || column < 1 || column > ColumnCount()) return {};
    const auto& values = m_table.records[static_cast<std::size_t>(row - 1)].values;
    const auto c = static_cast<std::size_t>(column - 1);
    return c < values.size() ? values[c] : std::string();
}

bool RecordDataSource::Write(int row, int column, std::string_view text) {
    m_writeError.clear();
    if (row < 1 || row > RowCount() || column < 1 || column > ColumnCount()) return false;
    RecordTable changed = m_table;
    Record& record = changed.records[static_cast<std::size_t>(row - 1)];
    const auto c = static_cast<std::size_t>(column - 1);
    record.values.resize(changed.fields.size());
    const FieldDescriptor& f = changed.fields[c];
    record.values[c] = f.type == FieldType::ShortText ? FitTextField(text, f.width) : std::string(text);
    changed.timeStamp = CurrentTimeStamp();
    if (!WriteRecordTable(changed, m_vdbPath, m_vdtPath, m_writeError)) return false;
    m_table = std::move(changed);
    return true;
}

}  // namespace qx::runtime
