#include "gui/main_window.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QCloseEvent>
#include <QEventLoop>
#include <QThread>
#include <QDesktopServices>
#include <QEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QUrl>

#include "gui/page_building.h"
#include "gui/preview_window.h"
#include "gui/qt_edge.h"
#include "gui/title_dialog.h"
#include "gui/worker.h"
#include "runtime/shell.h"
#include "text/messages.h"

// The window's pages are built and handled in file_page.cpp, layout_page.cpp,
// output_page.cpp and settings_page.cpp; this file holds what the pages share:
// the frame, the status bar, the signal wiring, start-up and closing.

namespace qx::gui {
namespace {

const char* const kWindowCaption = "QX电子书制作软件 v3.2 Final";
const char* const kStartHint = "请点击“浏览”按钮选择输入文件！";
const char* const kCredit = "QX电子书制作软件";

}  // namespace

CommonDialog::CommonDialog(QWidget* owner) : QObject(owner), m_owner(owner) {}

QString CommonDialog::QtFilter() const {
    const QStringList parts = filter.split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << parts[i] + " (" + parts[i + 1] + ")";
    return out.join(";;");
}

bool CommonDialog::Open() {
    std::optional<QString> chosen;
    if (chooser) {
        chosen = chooser(*this);
    } else {
        const QString name = QFileDialog::getOpenFileName(m_owner, QString(), initialDirectory, QtFilter());
        if (!name.isEmpty())
            chosen = name;
    }
    if (!chosen)
        return false;
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
    QX_MAKE(进度条, 状态条1);
    进度条->setFixedWidth(92);
    进度条->setTextVisible(true);
    进度条->hide();
    QX_MAKE(按钮_取消, 状态条1)->setText(QStringLiteral("取消"));
    按钮_取消->setFixedWidth(40);
    按钮_取消->hide();
    状态条1->addPermanentWidget(进度条);
    状态条1->addPermanentWidget(按钮_取消);
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

void MainWindow::Connect() {
    connect(按钮_浏览1, &QPushButton::clicked, this, &MainWindow::OnBrowseInput);
    connect(按钮_取消, &QPushButton::clicked, this, [this] {
        if (m_worker) m_worker->RequestCancel();
        按钮_取消->setEnabled(false);
    });
    connect(选择框_内码转换, &QCheckBox::clicked, this, &MainWindow::OnConvertClicked);
    for (QRadioButton* r : ConversionRadios()) connect(r, &QRadioButton::toggled, this, &MainWindow::UpdateSimplifyBox);
    connect(选择框_繁体转简体, &QCheckBox::clicked, this, [this](bool on) { m_userSimplify = on; });
    connect(按钮_标题规则, &QPushButton::clicked, this, &MainWindow::OnHeadingRules);
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
    connect(按钮_EPUB, &QPushButton::clicked, this, &MainWindow::OnWriteEpub);
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
    if (!settings)
        return false;
    编辑框_输出目录->setText(QString::fromStdString(settings->outputDirectory));
    选择框_即时预览->setChecked(settings->instantPreview);
    选择框_自动开启输出目录->setChecked(settings->autoOpenOutput);
    选择框_参数_自动保存->setChecked(settings->autoSaveParameters);
    (settings->layoutMode == text::LayoutMode::SeparateLines ? 单选_卷章分行 : 单选_卷章一行)
        ->setChecked(true);
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

void MainWindow::RunLongWork(std::function<void(runtime::Ui&)> work, std::function<void()> done) {
    if (m_worker) return;
    m_worker = std::make_unique<WorkerUi>(*m_ui, this, [this](const QString& stage, qint64 at, qint64 total) {
        进度条->setRange(0, total > 0 ? static_cast<int>(std::min<qint64>(total, 1 << 30)) : 0);
        进度条->setValue(static_cast<int>(std::min<qint64>(at, 1 << 30)));
        进度条->setFormat(total > 4 ? stage + QStringLiteral(" %1/%2").arg(at).arg(total) : stage + QStringLiteral(" %p%"));
    });
    选择夹_制作流程->setEnabled(false);
    状态条1_部分2->hide();
    进度条->setRange(0, 0);
    进度条->setFormat(QString());
    进度条->show();
    按钮_取消->setEnabled(true);
    按钮_取消->show();
    WorkerUi* ui = m_worker.get();
    QThread* thread = QThread::create([ui, work = std::move(work)] {
        // The work (and the threads it starts, which inherit this) yields
        // to the window's thread, so the window answers at once even while
        // every core is busy.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 5);
        work(*ui);
    });
    connect(thread, &QThread::finished, this, [this, thread, done = std::move(done)] {
        thread->deleteLater();
        m_worker.reset();
        进度条->hide();
        按钮_取消->hide();
        状态条1_部分2->show();
        选择夹_制作流程->setEnabled(true);
        if (done) done();
        emit WorkFinished();
    });
    thread->start();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Long work is asked to stop, and its end awaited, before anything is saved.
    if (m_worker) {
        m_worker->RequestCancel();
        QEventLoop wait;
        connect(this, &MainWindow::WorkFinished, &wait, &QEventLoop::quit);
        if (m_worker) wait.exec();
    }
    if (m_paths) {
        if (选择框_参数_自动保存->isChecked() && m_state.parameterModified)
            StoreEditorIntoParameter();
        app::CloseDown(m_state, *m_paths, CurrentSettings(), m_ui.get());
    }
    QWidget::closeEvent(event);
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

}  // namespace qx::gui
