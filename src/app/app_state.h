#pragma once
// The application state: what the windows hold between events, kept apart
// from the widgets so that every handler's logic runs without a display.

#include <string>
#include <vector>

#include <filesystem>

#include "app/template_list.h"
#include "headings/heading_rules.h"
#include "runtime/gbk_text.h"
#include "runtime/record_table.h"
#include "text/chapters.h"
#include "text/next_step.h"

namespace qx::app {

using runtime::Text;

struct AppState {
    std::filesystem::path home;      // the program home (settings, parameter table, templates)
    text::FilePage filePage;         // the controls of page "文件" as the last handler read them
    text::Book book;                 // working text and Index
    headings::RuleSet headingRules = headings::RuleSet::BuiltIn();  // heading_rules.txt of the program home
    std::string inputDirectory;      // initial directory of the open-file dialog
    std::string ebookDirectory;      // written by the output run, read by previews and projects
    TemplateList templates;          // 选择列表框_模板 and the selected-template list
    std::string packerPath;
    std::string packerProjectPath;   // the .epj that 按钮_EPJ wrote, for 按钮_EPE
    // The parameter store and its editor on page "设置".
    runtime::RecordDataSource parameters;
    int currentParameterRow = 1;
    bool parameterModified = false;
    Text savedStatusText;
    // The title dialog's values.
    Text ebookTitle;
    Text chmFileName;
    bool titleDialogCancelled = false;
};

// What choosing an input file puts into the widgets.
struct ChosenInput {
    std::string path;  // 编辑框_文件名
    Text stem;         // status bar part two, text and tip
    Text title;        // 编辑框_书名 (empty when the name gives none)
    Text author;       // 编辑框_作者
};

// The parse step after the open-file dialog was confirmed: remembers the
// file's directory as the input directory, closes the previous working text
// (loading and analysis then wait for Next) and proposes title and author
// from the file name.
ChosenInput ChooseInputFile(AppState& state, const std::string& path);

}  // namespace qx::app
