#pragma once
// The main window: the tab control of the four workflow pages and the
// status bar. Every widget's objectName is its control name; handlers read
// the widgets into the application state, call one core function and show
// the result.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "app/app_state.h"
#include "app/startup.h"
#include "output/parameter_texts.h"
#include "gui/gui_ui.h"

namespace qx::gui {

struct IndexTexts;

// The non-visual open-file dialog 通用对话框1: initial directory, filter in
// the program's "caption|pattern|caption|pattern" form, and the chosen name.
class CommonDialog : public QObject {
    Q_OBJECT
public:
    explicit CommonDialog(QWidget* owner);
    QString initialDirectory;
    QString filter;
    QString fileName;
    // Shows the dialog; true when the user confirmed a file. Tests replace
    // `chooser` to pick a file without a window.
    bool Open();
    std::function<std::optional<QString>(const CommonDialog&)> chooser;
    // The filter in Qt's "caption (pattern);;…" form.
    QString QtFilter() const;

private:
    QWidget* m_owner;
};

// The tree items of chapters that the check of headings mode found
// suspicious carry true under this role (their tooltip says why).
inline constexpr int kSuspiciousRole = Qt::UserRole + 1;

class MainWindow : public QWidget {
    Q_OBJECT
signals:
    void WorkFinished();

public:
    explicit MainWindow(app::AppState& state, QWidget* parent = nullptr);
    ~MainWindow() override;

    app::AppState& State() { return m_state; }
    runtime::Ui& Ui() { return *m_ui; }
    CommonDialog* FileDialog() { return 通用对话框1; }
    // The folder chooser of 按钮_浏览2; tests replace it.
    std::function<QString(QWidget* owner, const QString& title)> folderChooser;

    // Moves a directory to the trash; tests replace it.
    std::function<bool(const std::filesystem::path&)> moveToTrash;
    // Opens a directory in the file manager; tests replace it.
    std::function<void(const std::filesystem::path&)> openDirectory;
    // Opens a file with the system's viewer (the CHM); tests replace it.
    std::function<void(const std::filesystem::path&)> openFile;
    // Shows the heading rules dialog modally; tests replace it to work the
    // dialog and close it.
    std::function<void(class HeadingRulesDialog&)> headingRulesRunner;
    // Shows the title dialog modally; tests replace it to answer it.
    std::function<void(app::AppState&, const QString& title, const QString& author)> titleDialogRunner;

    // Opens the preview window on the Output directory and the e-book
    // directory; tests replace it to avoid a modal window.
    std::function<void(const QString& outputDirectory, const QString& ebookDirectory)> previewOpener;

    // True while long work runs on its thread; WorkFinished() tells when it ends.
    bool Busy() const { return m_worker != nullptr; }
    // Runs `work` on a thread of its own with a Ui that reaches this window,
    // the window's controls disabled but for the cancel button; `done` runs
    // on the window's thread afterwards, to apply the results.
    void RunLongWork(std::function<void(runtime::Ui&)> work, std::function<void()> done);

    // The start-up sequence (the window's created event): settings, parameter
    // table, templates. False when the user chose to end the program.
    bool StartUp(const app::ProgramPaths& paths);
    // Chooses `file` as the input, as if it had been picked with 浏览 (the
    // book the program was started with).
    void ChooseInput(const QString& file);
    // The widgets' state as settings (for the closing sequence).
    app::Settings CurrentSettings() const;
    // Shows the template list model in the list and its companions.
    void ShowTemplates();

    // Shows the Index of the application state in the combo box and tree;
    // long work passes the texts it has already made from the Index.
    void ShowIndex();
    void ShowIndex(const IndexTexts& texts);
    // Updates node texts and marks after a layout, keeping what is expanded.
    void RefreshNodeTexts();
    // The flat index of the tree's selected node, -1 for none.
    int SelectedNode() const;
    // Selects node `index` and scrolls it into view.
    void BringIntoView(int index);

private:
    void BuildFilePage(QWidget* page);
    void BuildLayoutPage(QWidget* page);
    void BuildOutputPage(QWidget* page);
    void BuildSettingsPage(QWidget* page);
    void Connect();

    // Handlers.
    void OnBrowseInput();
    void OnConvertClicked();
    void UpdateSimplifyBox();
    void OnHeadingRules();
    void OnNextOnFilePage();
    void OnLoad();
    void OnAnalyze();
    void OnNextOnLayoutPage();
    void OnBrowseOutput();
    void OnAutomaticLayout();
    void OnTreeDoubleClicked();
    void OnTreeContextMenu(const QPoint& at);
    void OnEditNode();
    void OnLayoutSelectedVolume();
    void OnNodeEdited(QTreeWidgetItem* item);
    void OnExpandCollapse();
    void OnSelectionChanged();
    void OnWholeBookPreview();
    void ManualLayoutOf(int node);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    // Page "设置" and the template list.
    void OnPageChanged(int page);
    void OnParameterSelected(int listRow);
    void OnSaveParameter();
    void OnRestoreParameters();
    void ToggleEditorWidth();
    void FillParameterList();
    void LoadParameterIntoEditor();
    void StoreEditorIntoParameter();
    void OnTemplateItemChanged(QListWidgetItem* item);
    void OnTemplateCurrentChanged(int row);
    void ShowTemplateControls();

    // Page "输出".
    void OnOutput();
    void OnClean();
    void OnPreviewEbook();
    void OnCompileChm();
    void OnPreviewChm();
    void OnWritePackerProject();
    void OnStartPacker();
    void OnWriteEpub();
    // The parameter texts of the program home (asking about a missing table).
    std::optional<output::ParameterTexts> LoadParameters();

    // The controls of page "文件" into the application state, and back.
    void ReadFilePage();
    void WriteConversionChoice();
    text::LayoutMode Mode() const;
    void SetMode(text::LayoutMode mode);
    std::vector<QRadioButton*> ConversionRadios() const;
    void HideOutputStageButtons();

    app::AppState& m_state;
    std::unique_ptr<GuiUi> m_ui;
    std::vector<QTreeWidgetItem*> m_items;  // tree items by flat node index
    bool m_filling = false;                 // ShowIndex is rebuilding the tree
    bool m_fillingTemplates = false;        // ShowTemplates is rebuilding the list
    bool m_userSimplify = false;            // 选择框_繁体转简体 as last chosen for UTF-8 and Unicode text
    std::optional<app::ProgramPaths> m_paths;  // set by StartUp
    std::unique_ptr<class WorkerUi> m_worker;  // the Ui of the running long work

public:
    // Controls, named as the program names them.
    QTabWidget* 选择夹_制作流程 = nullptr;
    QStatusBar* 状态条1 = nullptr;
    QLabel* 状态条1_部分1 = nullptr;
    QLabel* 状态条1_部分2 = nullptr;
    QProgressBar* 进度条 = nullptr;   // in 状态条1 while long work runs
    QPushButton* 按钮_取消 = nullptr;  // beside it
    CommonDialog* 通用对话框1 = nullptr;
    QMenu* 父项目处理 = nullptr;
    QAction* 编辑 = nullptr;
    QAction* 排版 = nullptr;

    // Page "文件".
    QGroupBox* 分组框1 = nullptr;
    QLineEdit* 编辑框_文件名 = nullptr;
    QPushButton* 按钮_浏览1 = nullptr;
    QLabel* 标签4 = nullptr;
    QLineEdit* 编辑框_书名 = nullptr;
    QLabel* 标签3 = nullptr;
    QLineEdit* 编辑框_作者 = nullptr;
    QGroupBox* 分组框3 = nullptr;
    QGroupBox* 分组框2 = nullptr;
    QRadioButton* 单选_卷章分行 = nullptr;
    QRadioButton* 单选_卷章一行 = nullptr;
    QRadioButton* 单选_按标题分章 = nullptr;
    QGroupBox* 分组框4 = nullptr;
    QRadioButton* 单选_BIG5转码 = nullptr;
    QRadioButton* 单选_GBK繁体转码 = nullptr;
    QRadioButton* 单选_Unicode转码 = nullptr;
    QRadioButton* 单选_UTF8转码 = nullptr;
    QCheckBox* 选择框_内码转换 = nullptr;
    QCheckBox* 选择框_繁体转简体 = nullptr;
    QPushButton* 按钮_标题规则 = nullptr;
    QPushButton* 按钮_下一步1 = nullptr;

    // Page "排版".
    QComboBox* 组合框_卷章名 = nullptr;
    QTreeWidget* 树型框_索引目录 = nullptr;
    QPushButton* 按钮_扩展 = nullptr;
    QPushButton* 按钮_载入 = nullptr;
    QPushButton* 按钮_分析 = nullptr;
    QCheckBox* 选择框_即时预览 = nullptr;
    QPushButton* 按钮_预览 = nullptr;
    QPushButton* 按钮_排版 = nullptr;
    QPushButton* 按钮_下一步2 = nullptr;
    QComboBox* 组合框_卷序 = nullptr;
    QComboBox* 组合框_卷章序 = nullptr;
    QLabel* 气球提示框1 = nullptr;

    // Page "输出".
    QGroupBox* 分组框5 = nullptr;
    QLineEdit* 编辑框_输出目录 = nullptr;
    QPushButton* 按钮_浏览2 = nullptr;
    QPushButton* 按钮_预览1 = nullptr;
    QPushButton* 按钮_预览2 = nullptr;
    QPushButton* 按钮_清理 = nullptr;
    QPushButton* 按钮_EPE = nullptr;
    QPushButton* 按钮_EPJ = nullptr;
    QPushButton* 按钮_编译 = nullptr;
    QPushButton* 按钮_输出 = nullptr;
    QPushButton* 按钮_EPUB = nullptr;
    QGroupBox* 分组框7 = nullptr;
    QListWidget* 选择列表框_模板 = nullptr;
    QLabel* 标签1 = nullptr;
    QLabel* 标签2 = nullptr;
    QLabel* 标签_已选模板数量 = nullptr;
    QLabel* 标签_可用模板数量 = nullptr;
    QLabel* 标签_编号标签 = nullptr;
    QLabel* 标签_在选模板编号 = nullptr;
    QGroupBox* 分组框_编队组件 = nullptr;
    QPushButton* 按钮_编号减一 = nullptr;
    QPushButton* 按钮_编号加一 = nullptr;
    QPushButton* 按钮_移至队首 = nullptr;
    QPushButton* 按钮_移至队尾 = nullptr;
    QPushButton* 按钮_模板自动排序 = nullptr;
    QCheckBox* 选择框_自动开启输出目录 = nullptr;

    // Page "设置".
    QGroupBox* 分组框_参数 = nullptr;
    QListWidget* 列表框_参数 = nullptr;
    QPlainTextEdit* 编辑框_代码 = nullptr;
    QCheckBox* 选择框_参数_自动保存 = nullptr;
    QPushButton* 按钮_保存 = nullptr;
    QPushButton* 按钮_还原 = nullptr;
};

}  // namespace qx::gui
