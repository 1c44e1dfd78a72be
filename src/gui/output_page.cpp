#include "gui/main_window.h"

#include <QCoreApplication>

#include "app/parameter_store.h"
#include "epub/epub_writer.h"
#include "gui/index_texts.h"
#include "gui/page_building.h"
#include "gui/qt_edge.h"
#include "output/output_run.h"
#include "projects/chm_project.h"
#include "projects/packer_project.h"
#include "runtime/system_paths.h"

namespace qx::gui {

using build::Make;
using build::OnPage;

namespace {

const char* const kChooseOutputDirectory = "请选择输出目录";

}  // namespace

void MainWindow::BuildOutputPage(QWidget* page) {
    QX_MAKE(分组框5, page)->setTitle(QStringLiteral("输出目录"));
    OnPage(分组框5, 10, 30, 280, 52);
    QX_MAKE(编辑框_输出目录, 分组框5)->setGeometry(8, 20, 204, 22);
    QX_MAKE(按钮_浏览2, 分组框5)->setText(QStringLiteral("浏览"));
    按钮_浏览2->setGeometry(216, 19, 56, 24);

    struct Row {
        QPushButton** button;
        const char* name;
        const char* caption;
        int top;
        bool hidden;
    };
    const Row rows[] = {
        {&按钮_预览1, "按钮_预览1", "预览HTM", 91, true}, {&按钮_预览2, "按钮_预览2", "预览CHM", 120, true},
        {&按钮_清理, "按钮_清理", "清理HTM", 149, true},  {&按钮_EPE, "按钮_EPE", "启动EPE", 177, true},
        {&按钮_EPJ, "按钮_EPJ", "输出EPJ", 205, true},    {&按钮_编译, "按钮_编译", "编译CHM", 234, true},
        {&按钮_输出, "按钮_输出", "输 出", 264, false},
        {&按钮_EPUB, "按钮_EPUB", "输出EPUB", 60, true},
    };
    for (const Row& row : rows) {
        Make(*row.button, page, row.name)->setText(QString::fromUtf8(row.caption));
        OnPage(*row.button, 296, row.top, 56, 24);
        (*row.button)->setVisible(!row.hidden);
    }

    QX_MAKE(分组框7, page)->setTitle(QStringLiteral("模板"));
    OnPage(分组框7, 10, 84, 280, 176);
    QX_MAKE(选择列表框_模板, 分组框7)->setGeometry(8, 18, 128, 150);
    QX_MAKE(标签2, 分组框7)->setText(QStringLiteral("可用模板："));
    标签2->setGeometry(144, 18, 68, 20);
    QX_MAKE(标签_可用模板数量, 分组框7)->setText(QStringLiteral("0"));
    标签_可用模板数量->setGeometry(214, 18, 56, 20);
    QX_MAKE(标签1, 分组框7)->setText(QStringLiteral("已选模板："));
    标签1->setGeometry(144, 38, 68, 20);
    QX_MAKE(标签_已选模板数量, 分组框7)->setText(QStringLiteral("0"));
    标签_已选模板数量->setGeometry(214, 38, 56, 20);
    QX_MAKE(分组框_编队组件, 分组框7)->setTitle(QStringLiteral("在选模板编号"));
    分组框_编队组件->setGeometry(142, 60, 130, 108);
    QX_MAKE(标签_编号标签, 分组框_编队组件)->setText(QStringLiteral("模板编号："));
    标签_编号标签->setGeometry(8, 18, 66, 20);
    QX_MAKE(标签_在选模板编号, 分组框_编队组件)->setText(QStringLiteral("0"));
    标签_在选模板编号->setGeometry(76, 18, 46, 20);
    标签_编号标签->hide();
    标签_在选模板编号->hide();
    QX_MAKE(按钮_编号减一, 分组框_编队组件)->setText(QStringLiteral("减一"));
    按钮_编号减一->setGeometry(8, 40, 54, 20);
    QX_MAKE(按钮_编号加一, 分组框_编队组件)->setText(QStringLiteral("加一"));
    按钮_编号加一->setGeometry(68, 40, 54, 20);
    QX_MAKE(按钮_移至队首, 分组框_编队组件)->setText(QStringLiteral("移至队首"));
    按钮_移至队首->setGeometry(8, 62, 54, 20);
    QX_MAKE(按钮_移至队尾, 分组框_编队组件)->setText(QStringLiteral("移至队尾"));
    按钮_移至队尾->setGeometry(68, 62, 54, 20);
    QX_MAKE(按钮_模板自动排序, 分组框_编队组件)->setText(QStringLiteral("自动排序"));
    按钮_模板自动排序->setGeometry(8, 84, 114, 20);
    按钮_编号减一->setEnabled(false);
    按钮_移至队首->setEnabled(false);

    QX_MAKE(选择框_自动开启输出目录, page)->setText(QStringLiteral("输出成功后打开输出目录"));
    OnPage(选择框_自动开启输出目录, 14, 263, 220, 22);
    选择框_自动开启输出目录->setChecked(true);
}

void MainWindow::ShowTemplates() {
    const auto& model = m_state.templates;
    m_fillingTemplates = true;
    选择列表框_模板->clear();
    for (const auto& item : model.Items()) {
        auto* row = new QListWidgetItem(FromGbk(item.name), 选择列表框_模板);
        row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
        row->setCheckState(item.ticked ? Qt::Checked : Qt::Unchecked);
    }
    if (model.Current() >= 0 && model.Current() < 选择列表框_模板->count()) {
        选择列表框_模板->setCurrentRow(model.Current());
    }
    m_fillingTemplates = false;
    ShowTemplateControls();
}

void MainWindow::ShowTemplateControls() {
    const auto& model = m_state.templates;
    标签_可用模板数量->setText(QString::number(model.AvailableCount()));
    标签_已选模板数量->setText(QString::number(model.SelectedCount()));
    标签_在选模板编号->setText(FromGbk(model.CurrentNumberText()));
    标签_编号标签->setVisible(model.NumberLabelsVisible());
    标签_在选模板编号->setVisible(model.NumberLabelsVisible());
    按钮_编号减一->setEnabled(model.MinusEnabled());
    按钮_编号加一->setEnabled(model.PlusEnabled());
    按钮_移至队首->setEnabled(model.FrontEnabled());
    按钮_移至队尾->setEnabled(model.BackEnabled());
    按钮_模板自动排序->setEnabled(model.AutoOrderEnabled());
}

void MainWindow::OnTemplateItemChanged(QListWidgetItem* item) {
    if (m_fillingTemplates || !item)
        return;
    const int row = 选择列表框_模板->row(item);
    const bool ticked = item->checkState() == Qt::Checked;
    if (row < 0 || ticked == m_state.templates.Items()[static_cast<std::size_t>(row)].ticked)
        return;
    m_fillingTemplates = true;
    选择列表框_模板->setCurrentRow(row);  // the ticked item is the current one
    m_fillingTemplates = false;
    m_state.templates.TickChanged(row, ticked);
    ShowTemplateControls();
}

void MainWindow::OnTemplateCurrentChanged(int row) {
    if (m_fillingTemplates)
        return;
    m_state.templates.CurrentChanged(row);
    ShowTemplateControls();
}

std::optional<output::ParameterTexts> MainWindow::LoadParameters() {
    const std::filesystem::path home = m_paths ? m_paths->home : runtime::ProgramHome();
    if (!app::EnsureParameterTable(home, *m_ui))
        return std::nullopt;
    if (选择框_参数_自动保存->isChecked() && m_state.parameterModified)
        StoreEditorIntoParameter();
    runtime::RecordDataSource table;
    if (!app::OpenParameterTable(table, home, *m_ui))
        return std::nullopt;
    return app::ReadParameterTexts(table);
}

void MainWindow::OnCompileChm() {
    const auto parameters = LoadParameters();
    if (!parameters)
        return;
    const projects::ChmRequest request{m_state.ebookDirectory,
                                       编辑框_输出目录->text().toStdString(),
                                       ToGbk(编辑框_书名->text()),
                                       ToGbk(编辑框_作者->text()),
                                       projects::LastChapterLabel(m_state.book.index),
                                       (*parameters)[app::row::kCopyright],
                                       (*parameters)[app::row::kMaker]};
    const auto proposal = projects::ProposeChm(request, *m_ui);
    if (!proposal.ready)
        return;
    m_state.ebookDirectory = proposal.ebookDirectory.string();
    m_state.ebookTitle = proposal.ebookTitle;
    m_state.chmFileName = proposal.chmFileName;
    m_state.titleDialogCancelled = false;
    titleDialogRunner(m_state, 编辑框_书名->text(), 编辑框_作者->text());
    if (m_state.titleDialogCancelled)
        return;

    projects::ChmJob job;
    job.ebookDirectory = proposal.ebookDirectory;
    job.programHome = m_paths ? m_paths->home : runtime::ProgramHome();
    job.hhpTemplate = (*parameters)[app::row::kHhp];
    job.ebookTitle = m_state.ebookTitle;
    job.chmFileName = m_state.chmFileName;
    // While the compiler runs the window repaints; its controls stay disabled.
    // The compiler runs while the window repaints; 取消 stops it.
    auto result = std::make_shared<projects::ChmResult>();
    RunLongWork([job, result](runtime::Ui& ui) { *result = projects::CompileChm(job, ui); },
                [this, result] {
                    if (result->showPreviewButtons && result->outcome != projects::ChmOutcome::Stopped) {
                        按钮_预览2->show();
                        按钮_清理->show();
                    }
                });
}

void MainWindow::OnPreviewChm() {
    if (const auto file =
            projects::ChmToOpen(编辑框_输出目录->text().toStdString(), m_state.chmFileName, *m_ui)) {
        openFile(*file);
    }
}

void MainWindow::OnWritePackerProject() {
    const auto parameters = LoadParameters();
    if (!parameters)
        return;
    const projects::PackerProjectJob job{m_state.ebookDirectory,        编辑框_输出目录->text().toStdString(),
                                         ToGbk(编辑框_书名->text()),    ToGbk(编辑框_作者->text()),
                                         (*parameters)[app::row::kEpj], (*parameters)[app::row::kCopyright]};
    const auto result = projects::WritePackerProject(job, *m_ui);
    m_state.ebookDirectory = result.ebookDirectory.string();
    if (!result.written)
        return;
    m_state.packerProjectPath = result.projectPath.string();
    按钮_EPE->show();
}

void MainWindow::OnStartPacker() {
    const auto started = projects::StartPacker(m_state.packerPath, m_state.packerProjectPath, *m_ui);
    if (started != projects::PackerStart::Locate)
        return;
    // Where the packer exists (Windows), let the user show where it is.
    const auto dialog = projects::PackerLocateDialog();
    通用对话框1->initialDirectory = QString();
    通用对话框1->filter = FromGbk(dialog.filter);
    通用对话框1->fileName = FromGbk(dialog.fileName);
    if (!通用对话框1->Open())
        return;
    m_state.packerPath = 通用对话框1->fileName.toStdString();
    projects::StartPacker(m_state.packerPath, m_state.packerProjectPath, *m_ui, false);
}

void MainWindow::OnOutput() {
    if (!output::CheckOutputReady(m_state.book.index, m_state.templates.Selected().size(), *m_ui))
        return;
    const std::filesystem::path home = m_paths ? m_paths->home : runtime::ProgramHome();
    const auto loaded = LoadParameters();
    if (!loaded)
        return;
    auto job = std::make_shared<output::OutputJob>();
    auto parameterTexts = std::make_shared<output::ParameterTexts>(*loaded);
    job->book = &m_state.book;  // the window leaves the book alone while the run has it
    job->title = ToGbk(编辑框_书名->text());
    job->author = ToGbk(编辑框_作者->text());
    job->outputDirectory = 编辑框_输出目录->text().toStdString();
    job->programHome = home;
    if (m_paths) job->installedTemplates = m_paths->installedTemplates;
    job->selectedTemplates = m_state.templates.Selected();
    job->inputFile = 通用对话框1->fileName.isEmpty() ? 编辑框_文件名->text().toStdString()
                                                     : 通用对话框1->fileName.toStdString();
    job->parameters = parameterTexts.get();
    job->moveToTrash = moveToTrash;
    const bool analysed = !m_state.book.index.labels.empty();
    auto result = std::make_shared<output::OutputResult>();
    // When the run analyses the book first, the tree's texts are made on the
    // run's thread too, and the window shows them when it ends.
    auto texts = std::make_shared<std::optional<IndexTexts>>();
    RunLongWork([job, parameterTexts, result, analysed, texts](runtime::Ui& ui) {
                    *result = output::RunOutput(*job, ui);
                    if (!analysed && !job->book->index.labels.empty()) *texts = IndexTextsOf(job->book->index);
                },
                [this, result, texts] {
                    // A refused title computes no directory, and a cancelled run
                    // changes nothing: the previous book's directory stays for the
                    // preview and clean-up buttons.
                    if (!result->ebookDirectory.empty() && !result->cancelled)
                        m_state.ebookDirectory = result->ebookDirectory.string();
                    if (*texts)
                        ShowIndex(**texts);
                    if (!result->completed)
                        return;
                    if (选择框_自动开启输出目录->isChecked())
                        openDirectory(result->ebookDirectory);
                    for (QPushButton* b : {按钮_EPJ, 按钮_编译, 按钮_预览1, 按钮_EPUB})
                        b->show();
                });
}

void MainWindow::OnClean() {
    output::CleanEbookDirectory(m_state.ebookDirectory, *m_ui, moveToTrash);
}

void MainWindow::OnPreviewEbook() {
    if (!output::CheckPreviewReady(m_state.ebookDirectory, *m_ui))
        return;
    previewOpener(编辑框_输出目录->text(), QString::fromStdString(m_state.ebookDirectory));
}

void MainWindow::OnBrowseOutput() {
    const QString chosen = folderChooser(this, QString::fromUtf8(kChooseOutputDirectory));
    if (!chosen.isEmpty())
        编辑框_输出目录->setText(chosen);
}

}  // namespace qx::gui

namespace qx::gui {

void MainWindow::OnWriteEpub() {
    epub::EpubJob job;
    job.book = &m_state.book;
    job.title = ToGbk(编辑框_书名->text());
    job.author = ToGbk(编辑框_作者->text());
    job.outputDirectory = 编辑框_输出目录->text().toStdString();
    job.inputFile = 编辑框_文件名->text().toStdString();
    auto result = std::make_shared<epub::EpubResult>();
    RunLongWork([job, result](runtime::Ui& ui) { *result = epub::WriteEpub(job, ui); },
                [this, result] {
                    if (result->written && 选择框_自动开启输出目录->isChecked()) openDirectory(result->file.parent_path());
                });
}

}  // namespace qx::gui
