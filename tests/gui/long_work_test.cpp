// Long work on a 100 MB BIG5 book: the window keeps turning its event loop
// (the longest pause is measured), shows progress, and cancel at each stage
// leaves everything as it was. This file is UTF-8.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTimer>
#include <fstream>

#include "app/parameter_store.h"
#include "gui/main_window.h"
#include "gui_test_support.h"
#include "runtime/encoding.h"
#include "runtime/files.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx::gui {
namespace {

namespace fs = std::filesystem;

// Counts the event loop's turns by a timer and keeps the longest pause
// between two of them.
class LoopWatch {
public:
    LoopWatch() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            if (m_last >= 0) m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_clock.start();
        m_timer.start(2);
    }
    double LongestMs() const { return static_cast<double>(m_longest) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    qint64 m_longest = 0;
};

class LongWorkTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto corpus = test::CorpusDir();
        if (corpus.empty()) GTEST_SKIP() << "test novels not found: set QX_CORPUS_DIR";
        const auto big5 = runtime::ReadWholeFile(corpus / "xiyouji.trad.big5.txt");
        ASSERT_TRUE(big5);
        book = dir.Path() / "《大書》某人.txt";
        std::ofstream f(book, std::ios::binary);
        for (std::size_t written = 0; written < 100'000'000; written += big5->size()) f << *big5;
        f.close();
        paths = {dir.Path() / "home", dir.Path() / "docs", dir.Path() / "tmp"};
        fs::create_directories(paths.temporary);
        ASSERT_TRUE(app::WriteDefaultTables(paths.home));
        fs::copy(fs::path(QX_SOURCE_DIR) / "data" / "template", paths.home / "template", fs::copy_options::recursive);
        window = std::make_unique<MainWindow>(state);
        ASSERT_TRUE(window->StartUp(paths));
        window->编辑框_输出目录->setText(QString::fromStdString((dir.Path() / "out").string()));
        window->openDirectory = [](const fs::path&) {};
        window->moveToTrash = [](const fs::path& p) {
            std::error_code ec;
            fs::remove_all(p, ec);
            return !ec;
        };
        window->titleDialogRunner = [](app::AppState&, const QString&, const QString&) {};
        window->FileDialog()->chooser = [this](const CommonDialog&) {
            return std::optional<QString>(QString::fromStdString(book.string()));
        };
        window->show();
    }
    // Keeps each progress text once as it changes. The loops below turn many
    // thousand times a second; a list of every text they saw grows to
    // millions, and growing it stalled the very loop being measured.
    static void AddIfNew(QStringList& seen, const QString& text) {
        if (!text.isEmpty() && (seen.isEmpty() || seen.back() != text)) seen << text;
    }
    // Clicks `button` and presses 取消 once the progress bar has shown for a
    // moment; returns the progress texts it saw.
    QStringList ClickAndCancel(QPushButton* button, int afterMs) {
        QStringList seen;
        QElapsedTimer shown;
        bool cancelled = false;
        button->click();
        while (window->Busy()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (window->进度条->isVisible()) {
                if (!shown.isValid()) shown.start();
                AddIfNew(seen, window->进度条->text());
                if (!cancelled && shown.elapsed() >= afterMs) {
                    window->按钮_取消->click();
                    cancelled = true;
                }
            }
        }
        EXPECT_TRUE(cancelled);
        return seen;
    }
    // Clicks `button` and waits for the work to end, watching the loop.
    double ClickAndWatch(QPushButton* button, QStringList* seen = nullptr) {
        LoopWatch watch;
        button->click();
        while (window->Busy()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (seen && window->进度条->isVisible()) AddIfNew(*seen, window->进度条->text());
        }
        return watch.LongestMs();
    }
    std::vector<fs::path> Entries(const fs::path& folder) {
        std::vector<fs::path> out;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(folder, ec)) out.push_back(e.path().filename());
        return out;
    }

    test::TempDir dir;
    fs::path book;
    app::ProgramPaths paths;
    app::AppState state;
    std::unique_ptr<MainWindow> window;
};

TEST_F(LongWorkTest, HundredMegabyteBig5BookLoadsAndWritesWithoutFreezingAndCancelsCleanly) {
    window->按钮_浏览1->click();
    ASSERT_TRUE(window->单选_BIG5转码->isChecked());

    // Cancelled while loading: no book, the first page still current.
    ClickAndCancel(window->按钮_下一步1, 150);
    EXPECT_FALSE(state.book.workingText.IsOpen());
    EXPECT_EQ(window->选择夹_制作流程->currentIndex(), 0);
    EXPECT_TRUE(window->选择夹_制作流程->isEnabled());

    QStringList progress;
    const double loading = ClickAndWatch(window->按钮_下一步1, &progress);
    std::cout << "longest pause of the event loop while loading: " << loading << " ms\n";
    ASSERT_TRUE(state.book.workingText.IsOpen());
    const int chapters = state.book.index.ChapterCount();
    EXPECT_GT(chapters, 7000);
    EXPECT_EQ(window->选择夹_制作流程->currentIndex(), 1);
    EXPECT_FALSE(progress.isEmpty());
    EXPECT_LE(loading, 100.0);

    // Cancelled during the output run: no e-book directory, nothing beside it.
    window->选择夹_制作流程->setCurrentIndex(2);
    const auto seen = ClickAndCancel(window->按钮_输出, 300);
    EXPECT_FALSE(seen.isEmpty());
    EXPECT_TRUE(Entries(dir.Path() / "out").empty());
    EXPECT_TRUE(state.ebookDirectory.empty());

    const double writing = ClickAndWatch(window->按钮_输出);
    std::cout << "longest pause of the event loop while writing the e-book: " << writing << " ms\n";
    const fs::path ebook = dir.Path() / "out" / "《大書》";
    ASSERT_TRUE(fs::exists(ebook / "start.htm"));
    EXPECT_EQ(Entries(dir.Path() / "out"), std::vector<fs::path>{ebook.filename()});
    EXPECT_LE(writing, 100.0);
    EXPECT_EQ(state.book.index.ChapterCount(), chapters);

    // Cancelled during the CHM compilation: an older CHM is put back whole.
    if (QStandardPaths::findExecutable(QStringLiteral("chmcmd")).isEmpty()) {
        std::cout << "chmcmd not installed: compilation not cancelled\n";
        return;
    }
    window->titleDialogRunner = [](app::AppState& s, const QString&, const QString&) {
        s.chmFileName = runtime::Utf8ToGbk("大书");
    };
    const fs::path chm = dir.Path() / "out" / "大书.chm";
    std::ofstream(chm) << "an older CHM";
    ClickAndCancel(window->按钮_编译, 300);
    EXPECT_EQ(*runtime::ReadWholeFile(chm), "an older CHM");
    EXPECT_FALSE(fs::exists(ebook / "temp.hhp"));
    EXPECT_TRUE(window->按钮_预览2->isHidden());
    EXPECT_TRUE(window->选择夹_制作流程->isEnabled());
}

}  // namespace
}  // namespace qx::gui
