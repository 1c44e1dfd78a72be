#pragma once
// The settings file qx_cfg.ini in the program home: GBK text, section
// "基本设置", eight keys. Booleans are "真"/"假"; only "真" reads as true.

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "runtime/gbk_text.h"
#include "text/chapters.h"

namespace qx::app {

struct Settings {
    std::string outputDirectory;  // 编辑框_输出目录 (a file-system path)
    std::string inputDirectory;   // the open-file dialog's initial directory
    bool instantPreview = true;   // 选择框_即时预览
    bool autoOpenOutput = true;   // 选择框_自动开启输出目录
    bool autoSaveParameters = true;  // 选择框_参数_自动保存
    text::LayoutMode layoutMode = text::LayoutMode::SeparateLines;
    runtime::Text templates;      // template names joined by "|" (GBK)
    std::string packerPath;
};

// The settings in `iniFile`, every missing key at its default: the output
// directory is `documentsDirectory` + "My eBooks", the input directory the
// output directory, booleans true, separate-lines mode, template "默认".
Settings ReadSettings(const std::filesystem::path& iniFile, const std::filesystem::path& documentsDirectory);
// The same from the file's bytes.
Settings ReadSettingsText(std::string_view iniBytes, const std::filesystem::path& documentsDirectory);

// Writes the eight keys, keeping every other section, key and comment of the
// file; the file is replaced atomically. Returns success.
bool WriteSettings(const std::filesystem::path& iniFile, const Settings& settings);
// The same, telling why it failed.
bool WriteSettings(const std::filesystem::path& iniFile, const Settings& settings, std::error_code& error);

// The template setting for a selected-template list: the names joined by
// "|", or "默认" when the list is empty.
runtime::Text JoinTemplateNames(const std::vector<runtime::Text>& names);

}  // namespace qx::app
