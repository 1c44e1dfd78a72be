#pragma once
// The parameter store: the 24 editable template texts of the e-book, kept in
// the record table data.vdb/data.vdt in the program home. Rows are addressed
// by number from 1; column 1 is the name, column 2 the text.

#include <filesystem>

#include "output/parameter_texts.h"
#include "runtime/record_table.h"
#include "runtime/ui.h"

namespace qx::app {

inline constexpr int kParameterRows = 24;

// Row numbers that other steps read.
namespace row {
inline constexpr int kHhp = 20;
inline constexpr int kEpj = 21;
inline constexpr int kCopyright = 23;
inline constexpr int kMaker = 24;
}  // namespace row

std::filesystem::path ParameterTablePath(const std::filesystem::path& home);  // home/data.vdb
std::filesystem::path ParameterTextsPath(const std::filesystem::path& home);  // home/data.vdt

// The built-in table: the 24 default texts with the ids and time stamp of the
// table the program ships.
runtime::RecordTable DefaultParameterTable();
// Replaces data.vdb and data.vdt in `home` by the built-in table. Returns success.
bool WriteDefaultTables(const std::filesystem::path& home);

// Column 2 of every row, by position, for page generation.
output::ParameterTexts ReadParameterTexts(const runtime::RecordDataSource& table);

// The question asked when data.vdb is missing (Yes writes the defaults).
extern const std::string_view kMissingTableQuestion;
// Asks the missing-table question when data.vdb is not in `home`; Yes writes
// the defaults. Returns whether a table is there afterwards.
bool EnsureParameterTable(const std::filesystem::path& home, runtime::Ui& ui);

// Opens the table; a damaged table is told and, when the user agrees,
// replaced by the defaults. Returns whether it is open.
bool OpenParameterTable(runtime::RecordDataSource& table, const std::filesystem::path& home, runtime::Ui& ui);

}  // namespace qx::app
