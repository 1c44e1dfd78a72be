#include "gui/main_window.h"

#include <QApplication>
#include <QFileDialog>
#include <QFont>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QUrl>
#include <QKeyEvent>
#include <QEvent>
#include <QHeaderView>
#include <QTimer>

#include "gui/qt_edge.h"
#include "app/parameter_store.h"
#include "output/output_run.h"
#include "gui/title_dialog.h"
#include "projects/chm_project.h"
#include "projects/packer_project.h"
#include "runtime/shell.h"
#include "runtime/system_paths.h"
#include "gui/preview_window.h"
#include "text/chapters.h"
#include "text/layout.h"
#include "text/messages.h"
#include "text/preview.h"

namespace qx::gui {
namespace {

// Page controls are placed in tab-control coordinates, as the window is
// drawn; a page starts below the tab bar.
constexpr int kPageDx = 2;
constexpr int kPageDy = 24;

template <class W>
W* Make(W*& member, QWidget* parent, const char* name) {
    member = new W(parent);
    member->setObjectName(QString::fromUtf8(name));
    return member;
}
#define QX_MAKE(member, parent) Make(member, parent, #member)

void OnPage(QWidget* w, int x, int y, int width, int height) { w->setGeometry(x - kPageDx, y - kPageDy, width, height); }

const char* const kWindowCaption = "QX电子书制作软件 v3.2 Final";
const char* const kStartHint = "请点击“浏览”按钮选择输入文件！";
const char* const kCredit = "QX电子书制作软件";
const char* const kPressNext = "请点击下一步继续！";
const char* const kInputFilter = "文本文件（*.txt）|*.txt|所有文件（*.*）|*.*";
const char* const kChooseOutputDirectory = "请选择输出目录";
const char* const kCtrlWHint = "在编辑框内按‘Ctrl+W’键可伸缩边框！";
const char* const kRestoreQuestion =
    "是否还原所有 QX 参数？\r\n\r\n按‘是’还原到 QX 本次启动前的状态；\r\n按‘否’还原为 QX 默认的初始值。";
const char* const kRestoreTitle = "参数还原";
const QRect kEditorNormal(109, 16, 228, 210);
const QRect kEditorWide(6, 16, 331, 210);

// Parameter texts keep CR LF line ends; the editor works with LF.
QString ForEditor(const std::string& gbk) { return FromGbk(gbk).replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }
std::string FromEditor(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return ToGbk(t);
}

}  // namespace

CommonDialog::CommonDialog(QWidget* owner) : QObject(owner), m_owner(owner) {}

QString CommonDialog::QtFilter() const {
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) out << parts[i] + " (" + parts[i + 1] + ")";
    return out.join(";;");
}

bool CommonDialog::Open() {
    std::optional<QString> chosen;
    if (chooser) {
        chosen = chooser(*this);
    } else {
        const QString name = QFileDialog::getOpenFileName(m_owner, QString(), initialDirectory, QtFilter());
        if (!name.isEmpty()) chosen = name;
    }
    if (!chosen) return false;
    fileName = *chosen;
    return true;
}

MainWindow::MainWindow(app::AppState& state, QWidget* parent) : QWidget(parent), m_state(state) {
    setObjectName(QStringLiteral("主窗口"));
    setWindowTitle(QString::fromUtf8(kWindowCaption));
    move(50, 50);
    setFixedSize(373, 306);

    QX_MAKE(选择夹_制作流程, this);
    选择夹_制作流程->setGeometry(0, 0, 375, 480);
    const char* pageNames[] = {"文件", "排版", "输出", "设置"};
    QWidget* pages[4];
    for (int i = 0; i < 4; ++i) {
        pages[i] = new QWidget;
        pages[i]->setObjectName(QString::fromUtf8("页_") + QString::fromUtf8(pageNames[i]));
        选择夹_制作流程->addTab(pages[i], QString::fromUtf8(pageNames[i]));
    }
    BuildFilePage(pages[0]);
    BuildLayoutPage(pages[1]);
    BuildOutputPage(pages[2]);
    BuildSettingsPage(pages[3]);

    QX_MAKE(状态条1, this);
    状态条1->setGeometry(0, 286, 373, 20);
    状态条1->setSizeGripEnabled(false);
    QX_MAKE(状态条1_部分1, 状态条1);
    QX_MAKE(状态条1_部分2, 状态条1);
    状态条1_部分1->setFixedWidth(230);
    状态条1_部分1->setText(QString::fromUtf8(kStartHint));
    状态条1_部分2->setText(QString::fromUtf8(kCredit));
    状态条1->addWidget(状态条1_部分1);
    状态条1->addWidget(状态条1_部分2, 1);
    状态条1->raise();

    通用对话框1 = new CommonDialog(this);
    通用对话框1->setObjectName(QStringLiteral("通用对话框1"));

    QX_MAKE(父项目处理, this);
    编辑 = 父项目处理->addAction(QStringLiteral("编辑"));
    编辑->setObjectName(QStringLiteral("编辑"));
    排版 = 父项目处理->addAction(QStringLiteral("排版"));
    排版->setObjectName(QStringLiteral("排版"));

    m_ui = std::make_unique<GuiUi>(this, 状态条1_部分1);
    folderChooser = [](QWidget* owner, const QString& title) {
        return QFileDialog::getExistingDirectory(owner, title);
    };
    moveToTrash = [](const std::filesystem::path& path) { return runtime::MoveToTrash(path); };
    openDirectory = [](const std::filesystem::path& path) { runtime::OpenInFileManager(path); };
    openFile = [](const std::filesystem::path& path) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path.string())));
    };
    titleDialogRunner = [this](app::AppState& values, const QString& title, const QString& author) {
        TitleDialog dialog(values, title, author, this);
        dialog.exec();
    };
    previewOpener = [this](const QString& outputDirectory, const QString& ebookDirectory) {
        PreviewWindow window(outputDirectory, ebookDirectory, this);
        window.exec();
    };
    Connect();
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildFilePage(QWidget* page) {
    QX_MAKE(分组框1, page)->setTitle(QStringLiteral("打开"));
    OnPage(分组框1, 10, 30, 352, 108);
    QX_MAKE(编辑框_文件名, 分组框1)->setGeometry(10, 22, 268, 22);
    编辑框_文件名->setReadOnly(true);
    QX_MAKE(按钮_浏览1, 分组框1)->setText(QStringLiteral("浏览"));
    按钮_浏览1->setGeometry(284, 21, 56, 24);
    QX_MAKE(标签4, 分组框1)->setText(QStringLiteral("书名："));
    标签4->setGeometry(10, 54, 40, 20);
    QX_MAKE(编辑框_书名, 分组框1)->setGeometry(52, 52, 288, 22);
    QX_MAKE(标签3, 分组框1)->setText(QStringLiteral("作者："));
    标签3->setGeometry(10, 80, 40, 20);
    QX_MAKE(编辑框_作者, 分组框1)->setGeometry(52, 78, 288, 22);

    QX_MAKE(分组框3, page)->setTitle(QStringLiteral("分析"));
    OnPage(分组框3, 10, 142, 352, 108);
    QX_MAKE(分组框2, 分组框3)->setGeometry(10, 18, 120, 82);
    QX_MAKE(单选_卷章分行, 分组框2)->setText(QStringLiteral("卷章分行"));
    单选_卷章分行->setGeometry(14, 16, 96, 22);
    单选_卷章分行->setChecked(true);
    QX_MAKE(单选_卷章一行, 分组框2)->setText(QStringLiteral("卷章一行"));
    单选_卷章一行->setGeometry(14, 48, 96, 22);
    QX_MAKE(分组框4, 分组框3)->setGeometry(140, 18, 202, 82);
    QX_MAKE(单选_BIG5转码, 分组框4)->setText(QStringLiteral("BIG5 -> GBK简"));
    单选_BIG5转码->setGeometry(14, 8, 180, 22);
    QX_MAKE(单选_GBK繁体转码, 分组框4)->setText(QStringLiteral("GBK繁 -> GBK简"));
    单选_GBK繁体转码->setGeometry(14, 32, 180, 22);
    QX_MAKE(单选_Unicode转码, 分组框4)->setText(QStringLiteral("Unicode -> GBK简"));
    单选_Unicode转码->setGeometry(14, 56, 180, 22);
    for (QRadioButton* r : {单选_BIG5转码, 单选_GBK繁体转码, 单选_Unicode转码}) r->setEnabled(false);

    QX_MAKE(选择框_内码转换, page)->setText(QStringLiteral("内码转换"));
    OnPage(选择框_内码转换, 14, 258, 100, 22);
    QX_MAKE(按钮_下一步1, page)->setText(QStringLiteral("下一步"));
    OnPage(按钮_下一步1, 296, 256, 64, 24);
}

void MainWindow::BuildLayoutPage(QWidget* page) {
    QX_MAKE(组合框_卷章名, page);
    OnPage(组合框_卷章名, 15, 39, 336, 20);
    组合框_卷章名->setMaxVisibleItems(20);
    QX_MAKE(树型框_索引目录, page);
    OnPage(树型框_索引目录, 15, 72, 264, 215);
    树型框_索引目录->setHeaderHidden(true);
    树型框_索引目录->setUniformRowHeights(true);
    树型框_索引目录->setContextMenuPolicy(Qt::CustomContextMenu);
    树型框_索引目录->setEditTriggers(QAbstractItemView::NoEditTriggers);

    struct Row {
        QPushButton** button;
        const char* name;
        const char* caption;
    };
    const Row rows[] = {
        {&按钮_扩展, "按钮_扩展", "展 开"}, {&按钮_载入, "按钮_载入", "载 入"}, {&按钮_分析, "按钮_分析", "分 析"},
        {&按钮_预览, "按钮_预览", "预 览"}, {&按钮_排版, "按钮_排版", "排 版"}, {&按钮_下一步2, "按钮_下一步2", "下一步"},
    };
    int y = 72;
    for (const Row& row : rows) {
        Make(*row.button, page, row.name)->setText(QString::fromUtf8(row.caption));
        OnPage(*row.button, 288, y, 64, 24);
        y += 31;
        if (row.button == &按钮_分析) {
            QX_MAKE(选择框_即时预览, page)->setText(QStringLiteral("即时预览"));
            OnPage(选择框_即时预览, 288, y, 76, 24);
            选择框_即时预览->setChecked(true);
            y += 31;
        }
    }
    QX_MAKE(组合框_卷序, page)->hide();
    QX_MAKE(组合框_卷章序, page)->hide();
    // The balloon is a tool-tip window of its own, shown at the mouse.
    气球提示框1 = new QLabel(this, Qt::ToolTip);
    气球提示框1->setObjectName(QStringLiteral("气球提示框1"));
    气球提示框1->setTextFormat(Qt::RichText);
    气球提示框1->setStyleSheet(QStringLiteral("QLabel { background: #ffffe1; border: 1px solid #808080; padding: 4px; }"));
    气球提示框1->hide();
}

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

void MainWindow::BuildSettingsPage(QWidget* page) {
    QX_MAKE(分组框_参数, page)->setTitle(QStringLiteral("参数"));
    OnPage(分组框_参数, 10, 26, 350, 234);
    QX_MAKE(列表框_参数, 分组框_参数)->setGeometry(8, 16, 96, 210);
    QX_MAKE(编辑框_代码, 分组框_参数)->setGeometry(kEditorNormal);
    编辑框_代码->setStyleSheet(QStringLiteral("QPlainTextEdit { padding-left: 3px; }"));
    编辑框_代码->setLineWrapMode(QPlainTextEdit::NoWrap);
    QX_MAKE(选择框_参数_自动保存, page)->setText(QStringLiteral("自动保存参数修改内容"));
    OnPage(选择框_参数_自动保存, 14, 262, 190, 22);
    选择框_参数_自动保存->setChecked(true);
    QX_MAKE(按钮_保存, page)->setText(QStringLiteral("保 存"));
    OnPage(按钮_保存, 228, 261, 60, 22);
    QX_MAKE(按钮_还原, page)->setText(QStringLiteral("还 原"));
    OnPage(按钮_还原, 296, 261, 60, 22);
}

void MainWindow::Connect() {
    connect(按钮_浏览1, &QPushButton::clicked, this, &MainWindow::OnBrowseInput);
    connect(选择框_内码转换, &QCheckBox::clicked, this, &MainWindow::OnConvertClicked);
    connect(按钮_下一步1, &QPushButton::clicked, this, &MainWindow::OnNextOnFilePage);
    connect(按钮_载入, &QPushButton::clicked, this, &MainWindow::OnLoad);
    connect(按钮_分析, &QPushButton::clicked, this, &MainWindow::OnAnalyze);
    connect(按钮_下一步2, &QPushButton::clicked, this, &MainWindow::OnNextOnLayoutPage);
    connect(按钮_浏览2, &QPushButton::clicked, this, &MainWindow::OnBrowseOutput);
    connect(按钮_排版, &QPushButton::clicked, this, &MainWindow::OnAutomaticLayout);
    connect(树型框_索引目录, &QTreeWidget::itemDoubleClicked, this, &MainWindow::OnTreeDoubleClicked);
    connect(树型框_索引目录, &QWidget::customContextMenuRequested, this, &MainWindow::OnTreeContextMenu);
    connect(树型框_索引目录, &QTreeWidget::itemChanged, this, &MainWindow::OnNodeEdited);
    connect(树型框_索引目录, &QTreeWidget::itemSelectionChanged, this, &MainWindow::OnSelectionChanged);
    树型框_索引目录->installEventFilter(this);
    connect(编辑, &QAction::triggered, this, &MainWindow::OnEditNode);
    connect(排版, &QAction::triggered, this, &MainWindow::OnLayoutSelectedVolume);
    connect(按钮_扩展, &QPushButton::clicked, this, &MainWindow::OnExpandCollapse);
    connect(按钮_预览, &QPushButton::clicked, this, &MainWindow::OnWholeBookPreview);

    connect(按钮_输出, &QPushButton::clicked, this, &MainWindow::OnOutput);
    connect(按钮_清理, &QPushButton::clicked, this, &MainWindow::OnClean);
    connect(按钮_预览1, &QPushButton::clicked, this, &MainWindow::OnPreviewEbook);
    connect(按钮_编译, &QPushButton::clicked, this, &MainWindow::OnCompileChm);
    connect(按钮_预览2, &QPushButton::clicked, this, &MainWindow::OnPreviewChm);
    connect(按钮_EPJ, &QPushButton::clicked, this, &MainWindow::OnWritePackerProject);
    connect(按钮_EPE, &QPushButton::clicked, this, &MainWindow::OnStartPacker);
    connect(选择夹_制作流程, &QTabWidget::currentChanged, this, &MainWindow::OnPageChanged);
    connect(列表框_参数, &QListWidget::currentRowChanged, this, &MainWindow::OnParameterSelected);
    connect(编辑框_代码, &QPlainTextEdit::textChanged, this, [this] { m_state.parameterModified = true; });
    编辑框_代码->installEventFilter(this);
    connect(按钮_保存, &QPushButton::clicked, this, &MainWindow::OnSaveParameter);
    connect(按钮_还原, &QPushButton::clicked, this, &MainWindow::OnRestoreParameters);

    connect(选择列表框_模板, &QListWidget::itemChanged, this, &MainWindow::OnTemplateItemChanged);
    connect(选择列表框_模板, &QListWidget::currentRowChanged, this, &MainWindow::OnTemplateCurrentChanged);
    auto orderButton = [this](QPushButton* button, void (app::TemplateList::*op)()) {
        connect(button, &QPushButton::clicked, this, [this, op] {
            (m_state.templates.*op)();
            ShowTemplates();
        });
    };
    orderButton(按钮_编号减一, &app::TemplateList::MinusOne);
    orderButton(按钮_编号加一, &app::TemplateList::PlusOne);
    orderButton(按钮_移至队首, &app::TemplateList::ToFront);
    orderButton(按钮_移至队尾, &app::TemplateList::ToBack);
    orderButton(按钮_模板自动排序, &app::TemplateList::AutoOrder);
}

bool MainWindow::StartUp(const app::ProgramPaths& paths) {
    m_paths = paths;
    const auto settings = app::StartUp(m_state, paths, *m_ui);
    if (!settings) return false;
    编辑框_输出目录->setText(QString::fromStdString(settings->outputDirectory));
    选择框_即时预览->setChecked(settings->instantPreview);
    选择框_自动开启输出目录->setChecked(settings->autoOpenOutput);
    选择框_参数_自动保存->setChecked(settings->autoSaveParameters);
    (settings->layoutMode == text::LayoutMode::SeparateLines ? 单选_卷章分行 : 单选_卷章一行)->setChecked(true);
    ShowTemplates();
    return true;
}

app::Settings MainWindow::CurrentSettings() const {
    app::Settings s;
    s.outputDirectory = 编辑框_输出目录->text().toStdString();
    s.inputDirectory = m_state.inputDirectory;
    s.instantPreview = 选择框_即时预览->isChecked();
    s.autoOpenOutput = 选择框_自动开启输出目录->isChecked();
    s.autoSaveParameters = 选择框_参数_自动保存->isChecked();
    s.layoutMode = Mode();
    s.templates = app::JoinTemplateNames(m_state.templates.Selected());
    s.packerPath = m_state.packerPath;
    return s;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_paths) {
        if (选择框_参数_自动保存->isChecked() && m_state.parameterModified) StoreEditorIntoParameter();
        app::CloseDown(m_state, *m_paths, CurrentSettings());
    }
    QWidget::closeEvent(event);
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
    if (m_fillingTemplates || !item) return;
    const int row = 选择列表框_模板->row(item);
    const bool ticked = item->checkState() == Qt::Checked;
    if (row < 0 || ticked == m_state.templates.Items()[static_cast<std::size_t>(row)].ticked) return;
    m_fillingTemplates = true;
    选择列表框_模板->setCurrentRow(row);  // the ticked item is the current one
    m_fillingTemplates = false;
    m_state.templates.TickChanged(row, ticked);
    ShowTemplateControls();
}

void MainWindow::OnTemplateCurrentChanged(int row) {
    if (m_fillingTemplates) return;
    m_state.templates.CurrentChanged(row);
    ShowTemplateControls();
}

void MainWindow::FillParameterList() {
    列表框_参数->blockSignals(true);
    列表框_参数->clear();
    for (int r = 1; r <= m_state.parameters.RowCount(); ++r) {
        列表框_参数->addItem(FromGbk(m_state.parameters.Read(r, 1)));
    }
    列表框_参数->setCurrentRow(m_state.currentParameterRow - 1);
    列表框_参数->blockSignals(false);
    LoadParameterIntoEditor();
}

void MainWindow::LoadParameterIntoEditor() {
    编辑框_代码->setPlainText(ForEditor(m_state.parameters.Read(m_state.currentParameterRow, 2)));
    m_state.parameterModified = false;
}

void MainWindow::StoreEditorIntoParameter() {
    if (!m_state.parameters.IsOpen() && m_paths) app::OpenParameterTable(m_state.parameters, m_paths->home, *m_ui);
    if (m_state.parameters.Write(m_state.currentParameterRow, 2, FromEditor(编辑框_代码->toPlainText()))) {
        m_state.parameterModified = false;
    } else {
        m_ui->Message(text::msg::kParameterNotSaved, runtime::Icon::Error);
    }
}

void MainWindow::OnPageChanged(int page) {
    if (page != 3) {
        if (!m_state.savedStatusText.empty()) m_ui->Status(m_state.savedStatusText);
        return;
    }
    const runtime::Text hint = ToGbk(QString::fromUtf8(kCtrlWHint));
    if (编辑框_代码->geometry().x() == 6) 编辑框_代码->setGeometry(kEditorNormal);
    if (m_paths && 列表框_参数->count() == 0) {
        if (!app::EnsureParameterTable(m_paths->home, *m_ui)) {
            // No restore of a missing table: the program ends at once.
            QCoreApplication::exit(0);
            std::exit(0);
        }
        if (app::OpenParameterTable(m_state.parameters, m_paths->home, *m_ui)) {
            m_state.currentParameterRow = 1;
            FillParameterList();
        }
    } else if (m_paths) {
        app::OpenParameterTable(m_state.parameters, m_paths->home, *m_ui);
    }
    const runtime::Text current = ToGbk(状态条1_部分1->text());
    if (current != hint) m_state.savedStatusText = current;
    m_ui->Status(hint);
}

void MainWindow::OnParameterSelected(int listRow) {
    if (listRow < 0) return;
    if (选择框_参数_自动保存->isChecked() && m_state.parameterModified) StoreEditorIntoParameter();
    m_state.currentParameterRow = listRow + 1;
    LoadParameterIntoEditor();
}

void MainWindow::OnSaveParameter() {
    if (m_state.parameterModified) StoreEditorIntoParameter();
}

void MainWindow::OnRestoreParameters() {
    if (!m_paths) return;
    const auto answer = m_ui->Ask(ToGbk(QString::fromUtf8(kRestoreQuestion)), runtime::Buttons::YesNoCancel,
                                  runtime::Icon::Question, ToGbk(QString::fromUtf8(kRestoreTitle)));
    if (answer == runtime::Answer::Cancel) return;
    const auto& home = m_paths->home;
    if (answer == runtime::Answer::Yes) {
        std::error_code ec;
        std::filesystem::copy_file(m_paths->temporary / "~temp.vdb", app::ParameterTablePath(home),
                                   std::filesystem::copy_options::overwrite_existing, ec);
        std::filesystem::copy_file(m_paths->temporary / "~temp.vdt", app::ParameterTextsPath(home),
                                   std::filesystem::copy_options::overwrite_existing, ec);
    } else {
        app::WriteDefaultTables(home);
    }
    列表框_参数->blockSignals(true);
    列表框_参数->clear();
    列表框_参数->blockSignals(false);
    编辑框_代码->clear();
    m_state.parameters.Close();
    if (app::OpenParameterTable(m_state.parameters, home, *m_ui)) FillParameterList();
}

std::optional<output::ParameterTexts> MainWindow::LoadParameters() {
    const std::filesystem::path home = m_paths ? m_paths->home : runtime::ProgramHome();
    if (!app::EnsureParameterTable(home, *m_ui)) return std::nullopt;
    if (选择框_参数_自动保存->isChecked() && m_state.parameterModified) StoreEditorIntoParameter();
    runtime::RecordDataSource table;
    if (!app::OpenParameterTable(table, home, *m_ui)) return std::nullopt;
    return app::ReadParameterTexts(table);
}

void MainWindow::OnCompileChm() {
    const auto parameters = LoadParameters();
    if (!parameters) return;
    const projects::ChmRequest request{m_state.ebookDirectory,
                                       编辑框_输出目录->text().toStdString(),
                                       ToGbk(编辑框_书名->text()),
                                       ToGbk(编辑框_作者->text()),
                                       projects::LastChapterLabel(m_state.book.index),
                                       (*parameters)[app::row::kCopyright],
                                       (*parameters)[app::row::kMaker]};
    const auto proposal = projects::ProposeChm(request, *m_ui);
    if (!proposal.ready) return;
    m_state.ebookDirectory = proposal.ebookDirectory.string();
    m_state.ebookTitle = proposal.ebookTitle;
    m_state.chmFileName = proposal.chmFileName;
    m_state.titleDialogCancelled = false;
    titleDialogRunner(m_state, 编辑框_书名->text(), 编辑框_作者->text());
    if (m_state.titleDialogCancelled) return;

    projects::ChmJob job;
    job.ebookDirectory = proposal.ebookDirectory;
    job.programHome = m_paths ? m_paths->home : runtime::ProgramHome();
    job.hhpTemplate = (*parameters)[app::row::kHhp];
    job.ebookTitle = m_state.ebookTitle;
    job.chmFileName = m_state.chmFileName;
    // While the compiler runs the window repaints; its controls stay disabled.
    job.keepWaiting = [] {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    };
    选择夹_制作流程->setEnabled(false);
    const auto result = projects::CompileChm(job, *m_ui);
    选择夹_制作流程->setEnabled(true);
    if (result.showPreviewButtons) {
        按钮_预览2->show();
        按钮_清理->show();
    }
}

void MainWindow::OnPreviewChm() {
    if (const auto file = projects::ChmToOpen(编辑框_输出目录->text().toStdString(), m_state.chmFileName, *m_ui)) {
        openFile(*file);
    }
}

void MainWindow::OnWritePackerProject() {
    const auto parameters = LoadParameters();
    if (!parameters) return;
    const projects::PackerProjectJob job{m_state.ebookDirectory, 编辑框_输出目录->text().toStdString(),
                                         ToGbk(编辑框_书名->text()), ToGbk(编辑框_作者->text()),
                                         (*parameters)[app::row::kEpj], (*parameters)[app::row::kCopyright]};
    const auto result = projects::WritePackerProject(job, *m_ui);
    m_state.ebookDirectory = result.ebookDirectory.string();
    if (!result.written) return;
    m_state.packerProjectPath = result.projectPath.string();
    按钮_EPE->show();
}

void MainWindow::OnStartPacker() {
    const auto started = projects::StartPacker(m_state.packerPath, m_state.packerProjectPath, *m_ui);
    if (started != projects::PackerStart::Locate) return;
    // Where the packer exists (Windows), let the user show where it is.
    const auto dialog = projects::PackerLocateDialog();
    通用对话框1->initialDirectory = QString();
    通用对话框1->filter = FromGbk(dialog.filter);
    通用对话框1->fileName = FromGbk(dialog.fileName);
    if (!通用对话框1->Open()) return;
    m_state.packerPath = 通用对话框1->fileName.toStdString();
    projects::StartPacker(m_state.packerPath, m_state.packerProjectPath, *m_ui, false);
}

void MainWindow::OnOutput() {
    if (!output::CheckOutputReady(m_state.book.index, m_state.templates.Selected().size(), *m_ui)) return;
    const std::filesystem::path home = m_paths ? m_paths->home : runtime::ProgramHome();
    const auto loaded = LoadParameters();
    if (!loaded) return;
    const output::ParameterTexts& parameters = *loaded;

    output::OutputJob job;
    job.book = &m_state.book;
    job.title = ToGbk(编辑框_书名->text());
    job.author = ToGbk(编辑框_作者->text());
    job.outputDirectory = 编辑框_输出目录->text().toStdString();
    job.programHome = home;
    job.selectedTemplates = m_state.templates.Selected();
    job.inputFile = 通用对话框1->fileName.isEmpty() ? 编辑框_文件名->text().toStdString()
                                                     : 通用对话框1->fileName.toStdString();
    job.parameters = &parameters;
    job.moveToTrash = moveToTrash;
    // The window repaints and shows the progress while the run goes on; the
    // workflow's buttons stay disabled so no second run starts inside it.
    job.pumpEvents = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
    const bool analysed = !m_state.book.index.labels.empty();
    选择夹_制作流程->setEnabled(false);
    const output::OutputResult result = output::RunOutput(job, *m_ui);
    选择夹_制作流程->setEnabled(true);
    // A refused title computes no directory: the previous book's stays for
    // the preview and clean-up buttons.
    if (!result.ebookDirectory.empty()) m_state.ebookDirectory = result.ebookDirectory.string();
    if (!analysed && !m_state.book.index.labels.empty()) ShowIndex();  // the run analysed the book first
    if (!result.completed) return;
    if (选择框_自动开启输出目录->isChecked()) openDirectory(result.ebookDirectory);
    for (QPushButton* b : {按钮_EPJ, 按钮_编译, 按钮_预览1}) b->show();
}

void MainWindow::OnClean() {
    output::CleanEbookDirectory(m_state.ebookDirectory, *m_ui, moveToTrash);
}

void MainWindow::OnPreviewEbook() {
    if (!output::CheckPreviewReady(m_state.ebookDirectory, *m_ui)) return;
    previewOpener(编辑框_输出目录->text(), QString::fromStdString(m_state.ebookDirectory));
}

void MainWindow::ToggleEditorWidth() {
    if (编辑框_代码->geometry().x() == 6) {
        编辑框_代码->setGeometry(kEditorNormal);
    } else {
        编辑框_代码->setGeometry(kEditorWide);
        编辑框_代码->raise();
    }
}

text::LayoutMode MainWindow::Mode() const {
    return 单选_卷章一行->isChecked() ? text::LayoutMode::OneLine : text::LayoutMode::SeparateLines;
}

void MainWindow::HideOutputStageButtons() {
    for (QPushButton* b : {按钮_预览1, 按钮_预览2, 按钮_编译, 按钮_EPJ, 按钮_EPE, 按钮_清理}) b->hide();
}

void MainWindow::ReadFilePage() {
    auto& page = m_state.filePage;
    page.inputPath = 编辑框_文件名->text().toStdString();
    page.title = ToGbk(编辑框_书名->text());
    page.author = ToGbk(编辑框_作者->text());
    page.convert = 选择框_内码转换->isChecked();
    page.fromUnicode = 单选_Unicode转码->isChecked();
    page.fromBig5 = 单选_BIG5转码->isChecked();
    page.fromTraditionalGbk = 单选_GBK繁体转码->isChecked();
    page.mode = Mode();
}

void MainWindow::WriteConversionChoice() {
    const auto& page = m_state.filePage;
    选择框_内码转换->setChecked(page.convert);
    if (page.fromUnicode) 单选_Unicode转码->setChecked(true);
    OnConvertClicked();
}

void MainWindow::OnBrowseInput() {
    编辑框_书名->clear();
    编辑框_作者->clear();
    通用对话框1->initialDirectory = QString::fromStdString(m_state.inputDirectory);
    通用对话框1->filter = QString::fromUtf8(kInputFilter);
    if (通用对话框1->Open()) {
        const app::ChosenInput chosen = app::ChooseInputFile(m_state, 通用对话框1->fileName.toStdString());
        const QString stem = FromGbk(chosen.stem);
        状态条1_部分2->setText(stem);
        状态条1_部分2->setToolTip(stem);
        编辑框_文件名->setText(QString::fromStdString(chosen.path));
        if (!chosen.title.empty() || !chosen.author.empty()) {
            编辑框_书名->setText(FromGbk(chosen.title));
            编辑框_作者->setText(FromGbk(chosen.author));
        }
    }
    HideOutputStageButtons();
    状态条1_部分1->setText(QString::fromUtf8(kPressNext));
}

void MainWindow::OnConvertClicked() {
    const bool on = 选择框_内码转换->isChecked();
    for (QRadioButton* r : {单选_BIG5转码, 单选_GBK繁体转码, 单选_Unicode转码}) r->setEnabled(on);
}

void MainWindow::OnNextOnFilePage() {
    ReadFilePage();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto result = text::RunNextStep(m_state.filePage, m_state.book, *m_ui);
    QApplication::restoreOverrideCursor();
    WriteConversionChoice();
    if (result != text::NextStepResult::Loaded) return;
    ShowIndex();
    选择夹_制作流程->setCurrentIndex(1);
}

void MainWindow::OnLoad() {
    text::LoadChapters(m_state.book, Mode(), *m_ui);
    ShowIndex();
}

void MainWindow::OnAnalyze() {
    text::AnalyzeChapters(m_state.book, Mode(), *m_ui);
    ShowIndex();
}

void MainWindow::OnNextOnLayoutPage() { 选择夹_制作流程->setCurrentIndex(2); }

void MainWindow::OnBrowseOutput() {
    const QString chosen = folderChooser(this, QString::fromUtf8(kChooseOutputDirectory));
    if (!chosen.isEmpty()) 编辑框_输出目录->setText(chosen);
}

void MainWindow::OnAutomaticLayout() {
    text::AutomaticLayout(m_state.book.index, Mode(), *m_ui);
    RefreshNodeTexts();
}

void MainWindow::RefreshNodeTexts() {
    const auto& nodes = m_state.book.index.tree.Nodes();
    if (nodes.size() != m_items.size()) {
        ShowIndex();
        return;
    }
    m_filling = true;
    QFont bold = 树型框_索引目录->font();
    bold.setBold(true);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        QTreeWidgetItem* item = m_items[i];
        const QString text = FromGbk(nodes[i].text);
        if (item->text(0) != text) item->setText(0, text);
        if (nodes[i].emphasised && !item->font(0).bold()) item->setFont(0, bold);
    }
    m_filling = false;
}

int MainWindow::SelectedNode() const {
    const QTreeWidgetItem* item = 树型框_索引目录->currentItem();
    return item ? item->data(0, Qt::UserRole).toInt() : -1;
}

void MainWindow::BringIntoView(int index) {
    if (index < 0 || index >= static_cast<int>(m_items.size())) return;
    树型框_索引目录->setCurrentItem(m_items[static_cast<std::size_t>(index)]);
    树型框_索引目录->scrollToItem(m_items[static_cast<std::size_t>(index)]);
}

void MainWindow::ManualLayoutOf(int node) {
    const auto result = text::ManualLayout(m_state.book.index, node, Mode(), *m_ui);
    if (!result.changed && result.showNode < 0) return;
    RefreshNodeTexts();
    BringIntoView(result.showNode >= 0 ? result.showNode : node);
}

void MainWindow::OnTreeDoubleClicked() {
    const int node = SelectedNode();
    if (text::IsChapterNode(m_state.book.index.tree, node)) ManualLayoutOf(node);
}

void MainWindow::OnTreeContextMenu(const QPoint& at) {
    父项目处理->popup(树型框_索引目录->viewport()->mapToGlobal(at));
}

void MainWindow::OnEditNode() {
    QTreeWidgetItem* item = 树型框_索引目录->currentItem();
    if (!item) return;
    树型框_索引目录->editItem(item, 0);
}

void MainWindow::OnLayoutSelectedVolume() { ManualLayoutOf(SelectedNode()); }

void MainWindow::OnNodeEdited(QTreeWidgetItem* item) {
    if (m_filling || !item) return;
    const int index = item->data(0, Qt::UserRole).toInt();
    auto& tree = m_state.book.index.tree;
    if (index >= 0 && index < tree.Count()) tree.SetText(index, ToGbk(item->text(0)));
}

void MainWindow::OnExpandCollapse() {
    const auto toggle =
        text::ToggleExpansion(ToGbk(按钮_扩展->text()), m_state.book.index.tree.Count());
    if (!toggle) return;
    按钮_扩展->setText(FromGbk(toggle->newCaption));
    const bool expand = toggle->action == text::TreeExpansion::ExpandVolumes;
    树型框_索引目录->setUpdatesEnabled(false);
    for (int i = 0; i < 树型框_索引目录->topLevelItemCount(); ++i) {
        树型框_索引目录->topLevelItem(i)->setExpanded(expand);
    }
    树型框_索引目录->setUpdatesEnabled(true);
    if (!m_items.empty()) 树型框_索引目录->scrollToItem(m_items.front());
}

void MainWindow::OnSelectionChanged() {
    if (m_filling) return;
    const auto balloon =
        text::BalloonText(m_state.book.index.tree, SelectedNode(), 选择框_即时预览->isChecked());
    if (!balloon) return;
    气球提示框1->setText(FromGbk(*balloon));
    气球提示框1->adjustSize();
    气球提示框1->move(QCursor::pos() + QPoint(12, 12));
    气球提示框1->show();
    QTimer::singleShot(5000, 气球提示框1, &QWidget::hide);
}

void MainWindow::OnWholeBookPreview() {
    const auto page = text::BuildPreviewPage(m_state.book.index.tree, ToGbk(编辑框_书名->text()),
                                             ToGbk(编辑框_作者->text()),
                                             text::PictureDirectoryOf(通用对话框1->fileName.toStdString()));
    if (!page) return;
    text::WritePreviewFile(编辑框_输出目录->text().toStdString(), *page);
    previewOpener(编辑框_输出目录->text(), QString::fromStdString(m_state.ebookDirectory));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == 树型框_索引目录 && event->type() == QEvent::FocusIn) {
        m_ui->Status(text::msg::kManualLayoutHint);
    }
    if (watched == 编辑框_代码 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & Qt::ControlModifier) {
            if (key->key() == Qt::Key_A) {
                编辑框_代码->selectAll();
                return true;
            }
            if (key->key() == Qt::Key_W) {
                ToggleEditorWidth();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::ShowIndex() {
    const auto& index = m_state.book.index;
    auto toList = [](const std::vector<runtime::Text>& texts) {
        QStringList list;
        list.reserve(static_cast<qsizetype>(texts.size()));
        for (const auto& t : texts) list << FromGbk(t);
        return list;
    };
    for (auto [combo, texts] : {std::pair{组合框_卷章名, &index.titles}, std::pair{组合框_卷序, &index.volumeNumbers},
                                std::pair{组合框_卷章序, &index.labels}}) {
        combo->setUpdatesEnabled(false);
        combo->clear();
        combo->addItems(toList(*texts));
        combo->setUpdatesEnabled(true);
    }
    组合框_卷章名->setCurrentIndex(index.cursor);

    // The tree is rebuilt in one go: items made first, then handed over.
    m_filling = true;
    气球提示框1->hide();
    树型框_索引目录->setUpdatesEnabled(false);
    树型框_索引目录->clear();
    const auto& nodes = index.tree.Nodes();
    std::vector<QTreeWidgetItem*> items(nodes.size());
    QList<QTreeWidgetItem*> top;
    QFont bold = 树型框_索引目录->font();
    bold.setBold(true);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        auto* item = new QTreeWidgetItem(QStringList{FromGbk(nodes[i].text)});
        item->setData(0, Qt::UserRole, static_cast<int>(i));
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        if (nodes[i].emphasised) item->setFont(0, bold);
        items[i] = item;
        if (nodes[i].parent >= 0) {
            items[static_cast<std::size_t>(nodes[i].parent)]->addChild(item);
        } else {
            top << item;
        }
    }
    树型框_索引目录->addTopLevelItems(top);
    树型框_索引目录->setUpdatesEnabled(true);
    m_items = std::move(items);
    // The caption of 按钮_扩展 tells what the next click does; a new tree
    // starts collapsed.
    按钮_扩展->setText(FromGbk(text::msg::kExpandCaption));
    m_filling = false;
}

}  // namespace qx::gui
