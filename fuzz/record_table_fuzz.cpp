// Feeds arbitrary bytes to the record-table reader and, for every table it
// accepts, to the writer. Input: 4 bytes little-endian length of the record
// file, the record file, then the long-text file.
//
// Checked: reading either succeeds or throws RecordTableFormatError (anything
// else, a crash or a sanitizer report is a finding); an accepted table writes
// out and reads back the same; and a save over the accepted files, cut short
// after the long-text file, still leaves the old table readable as it was.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "runtime/files.h"
#include "runtime/record_table.h"

namespace {

using namespace qx::runtime;
namespace fs = std::filesystem;

void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "record table check failed: %s\n", what);
    std::abort();
}

bool SameContent(const RecordTable& a, const RecordTable& b) {
    return a.fields == b.fields && a.records == b.records && a.recordLength == b.recordLength;
}

// A directory of this process for the saved files, removed at exit.
struct WorkDirectory {
    fs::path path;
    WorkDirectory() {
        const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        path = base / ("qx-record-table-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(path);
    }
    ~WorkDirectory() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

const fs::path& WorkDir() {
    static const WorkDirectory dir;
    return dir.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::uint32_t vdbSize =
        static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
        static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    const std::string_view rest = input.substr(4);
    const std::string_view vdb = rest.substr(0, std::min<std::size_t>(vdbSize, rest.size()));
    const std::string_view vdt = rest.substr(vdb.size());

    RecordTable table;
    try {
        table = ParseRecordTable(vdb, vdt);
    } catch (const RecordTableFormatError&) {
        return 0;
    }

    // Compact encoding reads back the same.
    const RecordTableBytes bytes = EncodeRecordTable(table);
    Check(SameContent(ParseRecordTable(bytes.vdb, bytes.vdt), table), "the compact encoding reads back otherwise");

    // A save over the accepted files: the new table reads back; with the old
    // record file put back, the old table does.
    const fs::path vdbPath = WorkDir() / "data.vdb", vdtPath = WorkDir() / "data.vdt";
    Check(WriteFileAtomically(vdbPath, vdb) && WriteFileAtomically(vdtPath, vdt), "the accepted files cannot be written");
    RecordTable changed = table;
    bool edited = false;
    for (std::size_t c = 0; c < changed.fields.size() && !edited; ++c) {
        if (changed.fields[c].type != FieldType::LongText) continue;
        for (std::size_t r = 0; r < changed.records.size() && !edited; ++r) {
            changed.records[r].values[c] = std::string(600 + size % 900, static_cast<char>('a' + r % 26));
            edited = true;
        }
    }
    Check(WriteRecordTable(changed, vdbPath, vdtPath), "the changed table cannot be saved");
    Check(SameContent(ReadRecordTable(vdbPath, vdtPath), changed), "the saved table reads back otherwise");
    Check(WriteFileAtomically(vdbPath, vdb), "the old record file cannot be put back");
    Check(SameContent(ReadRecordTable(vdbPath, vdtPath), table), "the old record file does not read the old table back");
    return 0;
}
