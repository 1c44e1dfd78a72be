// Compiled as GBK: the texts here are the program's own.
#include "app/parameter_store.h"

#include "app/default_parameters.h"

namespace qx::app {

const std::string_view kMissingTableQuestion = "未找到数据文件，是否恢复为初始值？";
namespace {
const std::string_view kDamagedTableQuestion = "数据文件已损坏，是否恢复为初始值？";
const std::string_view kWriteFailed = "数据文件写入失败！";

// 3 September 2006 as days since 30 December 1899.
constexpr double kShippedTimeStamp = 38963.0;
}  // namespace

std::filesystem::path ParameterTablePath(const std::filesystem::path& home) { return home / "data.vdb"; }
std::filesystem::path ParameterTextsPath(const std::filesystem::path& home) { return home / "data.vdt"; }

runtime::RecordTable DefaultParameterTable() {
    using runtime::FieldDescriptor;
    using runtime::FieldType;
    runtime::RecordTable table = runtime::NewRecordTable({
        FieldDescriptor{"标签", FieldType::ShortText, 0, 15},
        FieldDescriptor{"数值", FieldType::LongText, 0, 0},
    });
    table.timeStamp = kShippedTimeStamp;
    const auto& defaults = DefaultParameters();
    for (std::size_t i = 0; i < defaults.size(); ++i) {
        runtime::AddRecord(table, {std::string(defaults[i].name), defaults[i].content});
    }
    // The shipped table numbers its records 1 to 21 and 23 to 25: one record
    // was deleted while the defaults were made.
    for (std::size_t i = 21; i < table.records.size(); ++i) table.records[i].id = static_cast<std::uint32_t>(i + 2);
    table.nextId = 26;
    return table;
}

bool WriteDefaultTables(const std::filesystem::path& home) {
    std::error_code ec;
    std::filesystem::create_directories(home, ec);
    return runtime::WriteRecordTable(DefaultParameterTable(), ParameterTablePath(home), ParameterTextsPath(home));
}

output::ParameterTexts ReadParameterTexts(const runtime::RecordDataSource& table) {
    output::ParameterTexts texts{};
    for (int r = 1; r <= kParameterRows; ++r) texts[static_cast<std::size_t>(r)] = table.Read(r, 2);
    return texts;
}

bool EnsureParameterTable(const std::filesystem::path& home, runtime::Ui& ui) {
    std::error_code ec;
    if (std::filesystem::exists(ParameterTablePath(home), ec)) return true;
    if (ui.Ask(kMissingTableQuestion, runtime::Buttons::YesNo) != runtime::Answer::Yes) return false;
    if (!WriteDefaultTables(home)) {
        ui.Message(kWriteFailed, runtime::Icon::Error);
        return false;
    }
    return true;
}

bool OpenParameterTable(runtime::RecordDataSource& table, const std::filesystem::path& home, runtime::Ui& ui) {
    try {
        table.Open(ParameterTablePath(home));
        return true;
    } catch (const runtime::RecordTableFormatError&) {
        // A damaged table is not read as empty texts: that would let the next
        // save overwrite it with nothing. The user decides.
        if (ui.Ask(kDamagedTableQuestion, runtime::Buttons::YesNo, runtime::Icon::Exclamation) !=
            runtime::Answer::Yes) {
            return false;
        }
        // Keep the damaged pair beside the new one; it may still be mended by hand.
        std::error_code ec;
        for (const auto& p : {ParameterTablePath(home), ParameterTextsPath(home)}) {
            auto aside = p;
            aside += ".damaged";
            std::filesystem::rename(p, aside, ec);
        }
        if (!WriteDefaultTables(home)) {
            ui.Message(kWriteFailed, runtime::Icon::Error);
            return false;
        }
        try {
            table.Open(ParameterTablePath(home));
            return true;
        } catch (const runtime::RecordTableFormatError&) {
            return false;
        }
    }
}

}  // namespace qx::app
