#include "projects/packer_project.h"

#include <system_error>

#include "projects/process.h"
#include "projects/project_text.h"
#include "runtime/files.h"

namespace qx::projects {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNoOutput = "请先输出文件！！！";
constexpr std::string_view kWritten = "输出EPJ成功！";
constexpr std::string_view kWriteFailed = "输出EPJ失败！无法写入文件：\r\n";
constexpr std::string_view kNoProject = "EPJ文件不存在！\r\n请先输出EPJ！！！！";
constexpr std::string_view kPackerMissing = "找不到 eBook Pack Express 执行文件：\r\n";
constexpr std::string_view kStartFailed = "启动 eBook Pack Express 失败：\r\n";
constexpr std::string_view kUnavailable =
    "eBook Pack Express（EPExpress.exe）是 Windows 程序，本系统上没有可以启动的打包程序。\r\n"
    "EPJ工程文件已经写好，可以在 Windows 上用 eBook Pack Express 打开：\r\n";

Text EscapeXml(std::string_view text) {
    // '&', '<', '>' and '"' lie below the second bytes of GBK characters, so
    // the text can be escaped byte by byte.
    Text out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// The project is GBK; without saying so, an XML reader takes it for UTF-8
// and stops at the first Chinese character.
Text DeclareEncoding(Text text) {
    if (text.rfind("<?xml", 0) != 0) return text;
    const auto end = text.find("?>");
    if (end == Text::npos) return text;
    if (text.substr(0, end).find("encoding") != Text::npos) return text;
    std::size_t at = end;
    while (at > 5 && text[at - 1] == ' ') --at;
    text.insert(at, " encoding = \"GBK\"");
    return text;
}

}  // namespace

Text BracketedTitle(std::string_view title) {
    Text t;
    if (!ContainsCharacter(title, "《")) t += "《";
    t += title;
    if (!ContainsCharacter(title, "》")) t += "》";
    return t;
}

Text FillPackerProject(std::string_view epjTemplate, const PackerFields& fields) {
    const Text bracketed = BracketedTitle(fields.title);
    Text outputFile = bracketed;
    outputFile += "作者：";
    outputFile += fields.author;
    Text startPage = fields.ebookDirectory;
    startPage += static_cast<char>(fs::path::preferred_separator);
    startPage += "start.htm";

    Text text(epjTemplate);
    text = runtime::Replace(text, "{书名}", EscapeXml(bracketed));
    text = runtime::Replace(text, "{作者}", EscapeXml(fields.author));
    text = runtime::Replace(text, "{版权}", EscapeXml(fields.rights));
    text = runtime::Replace(text, "{输出目录}", EscapeXml(fields.outputDirectory));
    text = runtime::Replace(text, "{输出文件}", EscapeXml(outputFile));
    text = runtime::Replace(text, "{目录}", EscapeXml(fields.ebookDirectory));
    text = runtime::Replace(text, "{首页}", EscapeXml(startPage));
    return DeclareEncoding(std::move(text));
}

PackerProjectResult WritePackerProject(const PackerProjectJob& job, runtime::Ui& ui) {
    PackerProjectResult result;
    result.ebookDirectory = job.recordedEbookDirectory;
    std::error_code ec;
    if (job.recordedEbookDirectory.empty() || !fs::is_regular_file(job.recordedEbookDirectory / "start.htm", ec)) {
        ui.Status(kNoOutput);
        return result;
    }
    // The output run names the directory after the title without its trailing blanks.
    const std::string_view name = runtime::TrimEnd(job.title);
    const fs::path named = job.outputDirectory / GbkToPath(name);
    if (!name.empty() && fs::is_regular_file(named / "start.htm", ec)) result.ebookDirectory = named;

    PackerFields fields;
    fields.title = job.title;
    fields.author = job.author;
    fields.rights = job.rights;
    fields.outputDirectory = PathToGbk(job.outputDirectory);
    fields.ebookDirectory = PathToGbk(result.ebookDirectory);
    const Text project = FillPackerProject(job.epjTemplate, fields);

    Text fileName = job.title;
    fileName += ".epj";
    const fs::path path = job.outputDirectory / GbkToPath(fileName);
    if (!runtime::WriteFileAtomically(path, project)) {
        Text message(kWriteFailed);
        message += PathToGbk(path);
        ui.Message(message, runtime::Icon::Error);
        return result;
    }
    result.written = true;
    result.projectPath = path;
    ui.Status(kWritten);
    return result;
}

PackerStart StartPacker(const fs::path& packerPath, const fs::path& projectPath, runtime::Ui& ui,
                        bool offerToLocate) {
    std::error_code ec;
    if (projectPath.empty() || !fs::is_regular_file(projectPath, ec)) {
        ui.Message(kNoProject, runtime::Icon::Error);
        return PackerStart::NoProject;
    }
    if (!IsExecutableFile(packerPath)) {
#ifdef _WIN32
        if (offerToLocate) return PackerStart::Locate;
        Text message(kPackerMissing);
        message += PathToGbk(packerPath);
        ui.Message(message, runtime::Icon::Error);
        return PackerStart::Failed;
#else
        (void)offerToLocate;
        Text message(kUnavailable);
        message += PathToGbk(projectPath);
        ui.Message(message, runtime::Icon::Information);
        return PackerStart::Unavailable;
#endif
    }
    if (!StartDetached(packerPath, {projectPath})) {
        Text message(kStartFailed);
        message += PathToGbk(packerPath);
        ui.Message(message, runtime::Icon::Error);
        return PackerStart::Failed;
    }
    return PackerStart::Started;
}

PackerDialogTexts PackerLocateDialog() {
    return {"请手动指定 eBook Pack Express 执行文件地址", "文档文件（*.exe）|*.exe", "EPExpress.exe"};
}

}  // namespace qx::projects
