// Writes a few valid record tables as fuzz inputs (4-byte record-file length,
// record file, long-text file) into the directory given.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "runtime/record_table.h"

using namespace qx::runtime;

namespace {

void Save(const std::filesystem::path& dir, const std::string& name, const RecordTable& table) {
    const RecordTableBytes bytes = EncodeRecordTable(table);
    std::string input(4, '\0');
    for (int i = 0; i < 4; ++i)
        input[static_cast<std::size_t>(i)] = static_cast<char>((bytes.vdb.size() >> (8 * i)) & 0xFF);
    input += bytes.vdb + bytes.vdt;
    std::ofstream(dir / name, std::ios::binary) << input;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);

    RecordTable params =
        NewRecordTable({{"name", FieldType::ShortText, 0, 15}, {"value", FieldType::LongText, 0, 0}});
    const std::size_t sizes[] = {0, 1, 119, 499, 500, 501, 1000, 1751, 2447, 4};
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        AddRecord(params, {"row" + std::to_string(i), std::string(sizes[i], static_cast<char>('A' + i))});
    }
    params.records.erase(params.records.begin() + 3);  // a gap in the ids
    Save(dir, "parameters", params);

    RecordTable empty =
        NewRecordTable({{"name", FieldType::ShortText, 0, 15}, {"value", FieldType::LongText, 0, 0}});
    Save(dir, "empty", empty);

    RecordTable wide = NewRecordTable({{"a", FieldType::LongText, 0, 0},
                                       {"b", FieldType::ShortText, 0, 3},
                                       {"c", FieldType::LongText, 0, 0},
                                       {"d", FieldType::ShortText, 0, 0}});
    AddRecord(wide, {std::string(1200, 'x'), "abc", "y", ""});
    AddRecord(wide, {"", "de", std::string(501, 'z'), ""});
    Save(dir, "four-fields", wide);
    return 0;
}
