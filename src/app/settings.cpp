// Compiled as GBK: the section, keys and values are the file's GBK texts.
#include "app/settings.h"

#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION  // the template bodies are compiled here, in one place
#include <SimpleIni.h>

#include "runtime/encoding.h"
#include "runtime/files.h"

namespace qx::app {
namespace {

constexpr const char* kSection = "基本设置";
constexpr const char* kOutputDirectory = "输出目录";
constexpr const char* kInputDirectory = "输入目录";
constexpr const char* kInstantPreview = "即时预览";
constexpr const char* kAutoOpen = "自动开启输出目录";
constexpr const char* kAutoSave = "自动保存参数修改内容";
constexpr const char* kLayoutMode = "排版模式";
constexpr const char* kTemplates = "模板";
constexpr const char* kPackerPath = "EPE文件地址";
constexpr const char* kTrue = "真";
constexpr const char* kFalse = "假";
constexpr const char* kSeparateLines = "卷章分行";
constexpr const char* kOneLine = "卷章一行";
// Headings mode is new; any value but 卷章分行 reads as one-line mode, as before.
constexpr const char* kHeadings = "按标题分章";
constexpr const char* kDefaultTemplate = "默认";
constexpr const char* kDefaultPacker = "C:\\Program Files\\eBook Pack Express\\EPExpress.exe";
constexpr const char* kMyEbooks = "My eBooks";

// Keys are compared byte for byte: GBK trail bytes include ASCII letters, so
// folding case could make two different keys equal.
using Ini = CSimpleIniCaseA;

void Configure(Ini& ini) {
    ini.SetUnicode(false);
    ini.SetMultiKey(false);
    ini.SetMultiLine(false);
    ini.SetSpaces(false);  // "key=value", as Windows writes profile files
}

void Load(Ini& ini, const std::filesystem::path& file) {
    Configure(ini);
    if (auto bytes = runtime::ReadWholeFile(file)) ini.LoadData(bytes->data(), bytes->size());
}

std::string Path(const Ini& ini, const char* key, const std::string& fallback) {
    const char* value = ini.GetValue(kSection, key, nullptr);
    return value ? runtime::GbkToUtf8(value) : fallback;
}

bool Flag(const Ini& ini, const char* key) {
    return std::string_view(ini.GetValue(kSection, key, kTrue)) == kTrue;
}

}  // namespace

Settings ReadSettings(const std::filesystem::path& iniFile, const std::filesystem::path& documentsDirectory) {
    const auto bytes = runtime::ReadWholeFile(iniFile);
    return ReadSettingsText(bytes ? std::string_view(*bytes) : std::string_view(), documentsDirectory);
}

Settings ReadSettingsText(std::string_view iniBytes, const std::filesystem::path& documentsDirectory) {
    Ini ini;
    Configure(ini);
    if (!iniBytes.empty()) ini.LoadData(iniBytes.data(), iniBytes.size());
    Settings s;
    std::string documents = documentsDirectory.string();
    if (!documents.empty() && documents.back() != '/') documents += '/';
    s.outputDirectory = Path(ini, kOutputDirectory, documents + kMyEbooks);
    s.inputDirectory = Path(ini, kInputDirectory, s.outputDirectory);
    s.instantPreview = Flag(ini, kInstantPreview);
    s.autoOpenOutput = Flag(ini, kAutoOpen);
    s.autoSaveParameters = Flag(ini, kAutoSave);
    const std::string_view mode = ini.GetValue(kSection, kLayoutMode, kSeparateLines);
    s.layoutMode = mode == kSeparateLines ? text::LayoutMode::SeparateLines
                   : mode == kHeadings    ? text::LayoutMode::Headings
                                          : text::LayoutMode::OneLine;
    s.templates = ini.GetValue(kSection, kTemplates, kDefaultTemplate);
    s.packerPath = Path(ini, kPackerPath, runtime::GbkToUtf8(kDefaultPacker));
    return s;
}

bool WriteSettings(const std::filesystem::path& iniFile, const Settings& s) {
    std::error_code error;
    return WriteSettings(iniFile, s, error);
}

bool WriteSettings(const std::filesystem::path& iniFile, const Settings& s, std::error_code& error) {
    Ini ini;
    Load(ini, iniFile);
    auto set = [&](const char* key, const std::string& gbk) { ini.SetValue(kSection, key, gbk.c_str()); };
    set(kInputDirectory, runtime::Utf8ToGbk(s.inputDirectory));
    set(kOutputDirectory, runtime::Utf8ToGbk(s.outputDirectory));
    set(kInstantPreview, s.instantPreview ? kTrue : kFalse);
    set(kAutoOpen, s.autoOpenOutput ? kTrue : kFalse);
    set(kAutoSave, s.autoSaveParameters ? kTrue : kFalse);
    set(kLayoutMode, s.layoutMode == text::LayoutMode::SeparateLines ? kSeparateLines
                     : s.layoutMode == text::LayoutMode::Headings    ? kHeadings
                                                                     : kOneLine);
    set(kTemplates, s.templates);
    set(kPackerPath, runtime::Utf8ToGbk(s.packerPath));
    std::string out;
    if (ini.Save(out) < 0) {
        error = std::make_error_code(std::errc::not_enough_memory);
        return false;
    }
    return runtime::WriteFileAtomically(iniFile, out, error);
}

runtime::Text JoinTemplateNames(const std::vector<runtime::Text>& names) {
    if (names.empty()) return kDefaultTemplate;
    runtime::Text joined;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i) joined += '|';
        joined += names[i];
    }
    return joined;
}

}  // namespace qx::app
