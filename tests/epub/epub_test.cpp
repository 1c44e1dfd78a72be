// The EPUB writer: the package and its documents, read back from the zip.
// This file is UTF-8 (it reads the package with Qt's XML reader); the
// book's texts are made GBK with G().
#include "epub/epub_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unzip.h>

#include <QXmlStreamReader>
#include <map>

#include "epub/book_plan.h"
#include "epub/messages.h"
#include "epub/xml_text.h"
#include "epub/zip_writer.h"
#include "runtime/encoding.h"
#include "runtime/files.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "text/chapters.h"

namespace qx::epub {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string U8(std::u8string_view s) { return std::string(s.begin(), s.end()); }
std::string G(std::string_view utf8) { return runtime::Utf8ToGbk(utf8); }

// Every entry of a zip archive, in the archive's order.
std::vector<std::pair<std::string, std::string>> Unzip(const fs::path& file) {
    std::vector<std::pair<std::string, std::string>> entries;
    unzFile zip = unzOpen64(file.c_str());
    if (!zip) return entries;
    for (int more = unzGoToFirstFile(zip); more == UNZ_OK; more = unzGoToNextFile(zip)) {
        char name[512];
        unz_file_info64 info;
        unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0);
        std::string bytes(info.uncompressed_size, '\0');
        unzOpenCurrentFile(zip);
        unzReadCurrentFile(zip, bytes.data(), static_cast<unsigned>(bytes.size()));
        unzCloseCurrentFile(zip);
        entries.emplace_back(name, bytes);
    }
    unzClose(zip);
    return entries;
}

std::map<std::string, std::string> Files(const fs::path& file) {
    std::map<std::string, std::string> out;
    for (auto& [name, bytes] : Unzip(file)) out[name] = bytes;
    return out;
}

// The labels of nav.xhtml's contents as "label" and "  label" (a level deeper).
std::vector<std::string> NavTree(const std::string& nav) {
    std::vector<std::string> out;
    QXmlStreamReader xml(QByteArray::fromStdString(nav));
    int depth = -1;
    bool inToc = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"nav") inToc = xml.attributes().value("epub:type") == u"toc";
        if (!inToc) continue;
        if (xml.isStartElement() && xml.name() == u"ol") ++depth;
        if (xml.isEndElement() && xml.name() == u"ol") --depth;
        if (xml.isStartElement() && xml.name() == u"a") {
            out.push_back(std::string(static_cast<std::size_t>(depth) * 2, ' ') + xml.readElementText().toStdString());
        }
        if (xml.isEndElement() && xml.name() == u"nav") inToc = false;
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return out;
}

bool WellFormed(const std::string& xml, std::string* why = nullptr) {
    QXmlStreamReader reader(QByteArray::fromStdString(xml));
    while (!reader.atEnd()) reader.readNext();
    if (reader.hasError() && why) *why = reader.errorString().toStdString();
    return !reader.hasError();
}

class EpubTest : public ::testing::Test {
protected:
    text::Book& Load(const std::string& utf8, text::LayoutMode mode) {
        book.workingText.Adopt(G(utf8));
        test::ScriptedUi quiet;
        text::LoadChapters(book, mode, quiet);
        if (mode == text::LayoutMode::OneLine) text::AnalyzeChapters(book, mode, quiet);
        return book;
    }
    EpubJob Job(const std::string& title = "书", const std::string& author = "人") {
        EpubJob job;
        job.book = &book;
        job.title = G(title);
        job.author = G(author);
        job.outputDirectory = dir.Path() / "out";
        job.inputFile = dir.Path() / "book.txt";
        job.modified = "2026-12-09T00:00:00Z";
        return job;
    }
    fs::path Written(const EpubJob& job) {
        const EpubResult r = WriteEpub(job, ui);
        EXPECT_TRUE(r.written);
        return r.file;
    }
    static std::string Separate() {
        return "序言\r\n正文零\r\n\r\n\r\n第一卷\r\n\r\n\r\n第一章 甲\r\n正文一\r\n\r\n\r\n第二章 乙\r\n正文二\r\n\r\n\r\n"
               "第二卷\r\n\r\n\r\n第三章 丙\r\n正文三\r\n";
    }

    test::TempDir dir;
    text::Book book;
    test::ScriptedUi ui;
};

TEST_F(EpubTest, MimetypeComesFirstStoredWithoutExtraField) {
    Load(Separate(), text::LayoutMode::SeparateLines);
    const fs::path file = Written(Job());
    EXPECT_EQ(file, dir.Path() / "out" / "书.epub");
    const std::string raw = *runtime::ReadWholeFile(file);
    ASSERT_GT(raw.size(), 60u);
    EXPECT_EQ(raw.substr(0, 4), std::string("PK\x03\x04", 4));
    EXPECT_EQ(raw[8], 0);   // method: stored
    EXPECT_EQ(raw[9], 0);
    EXPECT_EQ(raw[28], 0);  // no extra field
    EXPECT_EQ(raw[29], 0);
    EXPECT_EQ(raw.substr(30, 8), "mimetype");
    EXPECT_EQ(raw.substr(38, 20), "application/epub+zip");
    const auto entries = Unzip(file);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front().first, "mimetype");
    const auto files = Files(file);
    EXPECT_THAT(files.at("META-INF/container.xml"), HasSubstr("full-path=\"OEBPS/content.opf\""));
    for (const auto& [name, bytes] : files) {
        if (name.ends_with(".xhtml") || name.ends_with(".opf") || name.ends_with(".ncx") || name.ends_with(".xml")) {
            std::string why;
            EXPECT_TRUE(WellFormed(bytes, &why)) << name << ": " << why;
        }
    }
}

TEST_F(EpubTest, PackageDocumentNamesTheBookAndListsThePagesInOrder) {
    Load(Separate(), text::LayoutMode::SeparateLines);
    const auto opf = Files(Written(Job("《书&名》", "某<人>"))).at("OEBPS/content.opf");
    EXPECT_THAT(opf, HasSubstr(U8(u8"<dc:title>《书&amp;名》</dc:title>")));
    EXPECT_THAT(opf, HasSubstr(U8(u8"<dc:creator>某&lt;人&gt;</dc:creator>")));
    EXPECT_THAT(opf, HasSubstr("<dc:language>zh-CN</dc:language>"));
    EXPECT_THAT(opf, HasSubstr("<meta property=\"dcterms:modified\">2026-12-09T00:00:00Z</meta>"));
    EXPECT_THAT(opf, HasSubstr("<dc:identifier id=\"book-id\">urn:uuid:"));
    // Title page, then volumes and chapters in book order.
    std::vector<std::string> spine;
    for (std::size_t at = opf.find("<itemref idref=\""); at != std::string::npos; at = opf.find("<itemref idref=\"", at + 1)) {
        spine.push_back(opf.substr(at + 16, opf.find('"', at + 16) - at - 16));
    }
    EXPECT_THAT(spine, ElementsAre("title-page", "c00001", "v0001", "c00002", "c00003", "v0002", "c00004"));
    EXPECT_THAT(opf, HasSubstr("properties=\"nav\""));
    EXPECT_THAT(opf, HasSubstr("<spine toc=\"ncx\">"));
    EXPECT_THAT(opf, ::testing::Not(HasSubstr("cover")));
}

TEST_F(EpubTest, IdentifierStaysForTheSameBookAndDiffersForAnother) {
    Load(Separate(), text::LayoutMode::SeparateLines);
    const std::string first = BookIdentifier(G("书"), G("人"), book.index);
    EXPECT_EQ(BookIdentifier(G("书"), G("人"), book.index), first);
    EXPECT_NE(BookIdentifier(G("书二"), G("人"), book.index), first);
    EXPECT_THAT(first, ::testing::MatchesRegex("urn:uuid:[0-9a-f]{8}-[0-9a-f]{4}-5[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}"));
    // Written twice, at different times, the package keeps its identifier.
    EpubJob job = Job();
    const auto a = Files(Written(job)).at("OEBPS/content.opf");
    ui.answers.push_back(runtime::Answer::Yes);
    job.modified = "2027-01-01T00:00:00Z";
    const auto b = Files(Written(job)).at("OEBPS/content.opf");
    EXPECT_THAT(a, HasSubstr(first));
    EXPECT_THAT(b, HasSubstr(first));
}

TEST_F(EpubTest, ContentsFollowTheTreeInEachMode) {
    // Separate lines: chapters before the first volume stand at the top.
    Load(Separate(), text::LayoutMode::SeparateLines);
    EXPECT_THAT(NavTree(Files(Written(Job())).at("OEBPS/nav.xhtml")),
                ElementsAre(U8(u8"序言"), U8(u8"第一卷"), U8(u8"  第一章 甲"), U8(u8"  第二章 乙"), U8(u8"第二卷"),
                            U8(u8"  第三章 丙")));
    // One line, analysed and laid out: the volume names the tree shows.
    Load("甲卷 第一章\r\n正文\r\n\r\n\r\n甲卷 第二章\r\n正文\r\n\r\n\r\n乙卷 第三章\r\n正文\r\n", text::LayoutMode::OneLine);
    ui.answers.push_back(runtime::Answer::Yes);
    EXPECT_THAT(NavTree(Files(Written(Job())).at("OEBPS/nav.xhtml")),
                ElementsAre(U8(u8"甲卷"), U8(u8"  第一章"), U8(u8"  第二章"), U8(u8"乙卷"), U8(u8"  第三章")));
    // Headings: front matter at the top, then volumes.
    Load("简介\r\n第一卷 风起\r\n第一章 甲\r\n正文\r\n第二章 乙\r\n正文\r\n第三章 丙\r\n正文\r\n", text::LayoutMode::Headings);
    ui.answers.push_back(runtime::Answer::Yes);
    const auto files = Files(Written(Job()));
    EXPECT_THAT(NavTree(files.at("OEBPS/nav.xhtml")),
                ElementsAre(U8(u8"卷首"), U8(u8"第一卷 风起"), U8(u8"  第一章 甲"), U8(u8"  第二章 乙"), U8(u8"  第三章 丙")));
    // The NCX has the same entries, numbered in reading order.
    const std::string& ncx = files.at("OEBPS/toc.ncx");
    EXPECT_THAT(ncx, HasSubstr("playOrder=\"5\""));
    EXPECT_THAT(ncx, ::testing::Not(HasSubstr("playOrder=\"6\"")));
    EXPECT_THAT(ncx, HasSubstr("<meta name=\"dtb:depth\" content=\"2\"/>"));
}

TEST_F(EpubTest, EditedTreeTextsAreWhatTheContentsShow) {
    Load(Separate(), text::LayoutMode::SeparateLines);
    book.index.tree.SetText(book.index.NodeOfChapter(1), G("第一章 改过的题目"));
    const auto files = Files(Written(Job()));
    EXPECT_THAT(NavTree(files.at("OEBPS/nav.xhtml"))[2], U8(u8"  第一章 改过的题目"));
    EXPECT_THAT(files.at("OEBPS/text/c00002.xhtml"), HasSubstr(U8(u8"<h2>第一章 改过的题目</h2>")));
}

TEST_F(EpubTest, TitlesAndTextAreEscapedAndParagraphsNormalised) {
    Load("第一章 <甲> & \"乙\" 'x' \\\\路\r\n　　第一段 a<b>&c\x01\r\n\r\n  第二段 \\\\n  \r\n第二章 空\r\n\r\n第三章 丙\r\n正文\r\n",
         text::LayoutMode::Headings);
    const auto files = Files(Written(Job()));
    const std::string& c1 = files.at("OEBPS/text/c00001.xhtml");
    EXPECT_THAT(c1, HasSubstr(U8(u8"<h2>第一章 &lt;甲&gt; &amp; &quot;乙&quot; &#39;x&#39; \\路</h2>")));
    EXPECT_THAT(c1, HasSubstr(U8(u8"<p>第一段 a&lt;b&gt;&amp;c</p>\n<p>第二段 \\n</p>\n</section>")));
    EXPECT_THAT(files.at("OEBPS/text/c00002.xhtml"), HasSubstr(U8(u8"<h2>第二章 空</h2>\n</section>")));  // empty chapter
    for (const auto& [name, bytes] : files) {
        if (name.ends_with(".xhtml")) {
            EXPECT_TRUE(WellFormed(bytes)) << name;
        }
    }
    EXPECT_EQ(EscapeXml(U8(u8"a\x0b\uFFFE\uFFFF\tb")), "a\tb");
    EXPECT_THAT(Paragraphs(G("\r\n  \r\n\t甲\\\\乙 \r\n　\r\n丙")), ElementsAre(U8(u8"甲\\乙"), U8(u8"丙")));
}

TEST_F(EpubTest, TraditionalTextIsMarkedAsTaiwanChinese) {
    std::string text;
    for (int i = 0; i < 20; ++i) text += "第一章 說話\r\n這個國家說話時總是聽見遠處傳來鐘聲\r\n";
    Load(text, text::LayoutMode::SeparateLines);
    EpubJob job = Job();
    const auto files = Files(Written(job));
    EXPECT_THAT(files.at("OEBPS/content.opf"), HasSubstr("<dc:language>zh-TW</dc:language>"));
    EXPECT_THAT(files.at("OEBPS/text/c00001.xhtml"), HasSubstr("xml:lang=\"zh-TW\""));
}

TEST_F(EpubTest, PicturesAndCoverArePackedAndMissingOnesReported) {
    fs::create_directories(dir.Path() / "pic");
    dir.Write("pic/1.png", "\x89PNG fake");
    dir.Write("cover.jpg", "\xFF\xD8 fake");
    Load("<img src=pic\\1.png>\r\n\r\n\r\n插图说明\r\n正文\r\n\r\n\r\n<img src=pic/missing.jpg>\r\n\r\n\r\n说明二\r\n正文\r\n",
         text::LayoutMode::SeparateLines);
    const EpubResult r = WriteEpub(Job(), ui);
    ASSERT_TRUE(r.written);
    EXPECT_THAT(r.missingPictures, ElementsAre("pic/missing.jpg"));
    EXPECT_THAT(ui.Texts(test::ScriptedUi::Call::Message).back(), HasSubstr(std::string(msg::kPicturesMissing)));
    const auto files = Files(r.file);
    EXPECT_EQ(files.at("OEBPS/images/img0001.png"), "\x89PNG fake");
    EXPECT_EQ(files.at("OEBPS/images/cover.jpg"), "\xFF\xD8 fake");
    const std::string& opf = files.at("OEBPS/content.opf");
    EXPECT_THAT(opf, HasSubstr("href=\"images/img0001.png\" media-type=\"image/png\""));
    EXPECT_THAT(opf, HasSubstr("properties=\"cover-image\""));
    EXPECT_THAT(opf, HasSubstr("<itemref idref=\"cover\"/>"));
    EXPECT_THAT(files.at("OEBPS/text/v0001.xhtml"), HasSubstr("<img src=\"../images/img0001.png\""));
    EXPECT_THAT(files.at("OEBPS/text/v0002.xhtml"), ::testing::Not(HasSubstr("<img")));  // no broken reference
}

TEST_F(EpubTest, AnExistingFileIsReplacedOnlyWhenTheUserSaysSo) {
    Load(Separate(), text::LayoutMode::SeparateLines);
    fs::create_directories(dir.Path() / "out");
    const fs::path old = dir.Write("out/书.epub", "old");
    ui.answers.push_back(runtime::Answer::No);
    EXPECT_FALSE(WriteEpub(Job(), ui).written);
    EXPECT_EQ(*runtime::ReadWholeFile(old), "old");
    EXPECT_THAT(ui.Texts(test::ScriptedUi::Call::Ask).back(), HasSubstr(std::string(msg::kEpubExists)));
    ui.answers.push_back(runtime::Answer::Yes);
    EXPECT_TRUE(WriteEpub(Job(), ui).written);
    EXPECT_NE(*runtime::ReadWholeFile(old), "old");
}

TEST_F(EpubTest, AFailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
    Load(Separate(), text::LayoutMode::SeparateLines);
    fs::create_directories(dir.Path() / "out");
    const fs::path old = dir.Write("out/书.epub", "old");
    ui.answers.push_back(runtime::Answer::Yes);
    runtime::SetRenameFunctionForTesting([](const fs::path&, const fs::path&) { return false; });
    const EpubResult r = WriteEpub(Job(), ui);
    runtime::SetRenameFunctionForTesting(nullptr);
    EXPECT_FALSE(r.written);
    EXPECT_EQ(*runtime::ReadWholeFile(old), "old");
    for (const auto& e : fs::directory_iterator(dir.Path() / "out")) EXPECT_EQ(e.path(), old);
    EXPECT_THAT(ui.Texts(test::ScriptedUi::Call::Message).back(), HasSubstr(std::string(msg::kWriteFailed)));
    // A place where nothing can be written: told, nothing left behind.
    EpubJob job = Job();
    job.outputDirectory = "/proc/qx-no-such-place";
    EXPECT_FALSE(WriteEpub(job, ui).written);
}

TEST_F(EpubTest, RefusesWhatItCannotWrite) {
    EXPECT_FALSE(WriteEpub(Job(), ui).written);  // nothing loaded
    EXPECT_EQ(ui.LastStatus(), msg::kNoChapters);
    Load(Separate(), text::LayoutMode::SeparateLines);
    EpubJob job = Job();
    job.cover = dir.Path() / "nope.jpg";
    EXPECT_FALSE(WriteEpub(job, ui).written);
    job.cover = dir.Write("cover.bmp", "BM");
    EXPECT_FALSE(WriteEpub(job, ui).written);
    job.cover.reset();
    job.css = dir.Path() / "nope.css";
    EXPECT_FALSE(WriteEpub(job, ui).written);
    EXPECT_FALSE(fs::exists(dir.Path() / "out" / "书.epub"));
    job.css = dir.Write("my.css", "p { color: red; }");
    EXPECT_EQ(Files(Written(job)).at("OEBPS/style.css"), "p { color: red; }");
}

}  // namespace
}  // namespace qx::epub

namespace qx::epub {
namespace {

// Entries compressed ahead on other threads are the entries the archive
// would have compressed itself.
TEST(ZipWriterTest, PrecompressedEntriesGiveTheSameArchive) {
    test::TempDir dir;
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "第" + std::to_string(i) + "段，重复的文字。\n";
    {
        ZipWriter a(dir.Path() / "a.zip");
        ASSERT_TRUE(a.AddDeflated("x.txt", text) && a.AddDeflated("empty", "") && a.Close());
        ZipWriter b(dir.Path() / "b.zip");
        ASSERT_TRUE(b.AddCompressed("x.txt", Compress(text)) && b.AddCompressed("empty", Compress("")) && b.Close());
    }
    EXPECT_EQ(*runtime::ReadWholeFile(dir.Path() / "a.zip"), *runtime::ReadWholeFile(dir.Path() / "b.zip"));
    EXPECT_EQ(Files(dir.Path() / "b.zip").at("x.txt"), text);
}

class CancellingUi : public test::ScriptedUi {
public:
    bool CancelRequested() override { return true; }
};

TEST_F(EpubTest, ACancelledRunKeepsTheOldFileAndLeavesNoTemporary) {
    Load(Separate(), text::LayoutMode::SeparateLines);
    fs::create_directories(dir.Path() / "out");
    const fs::path old = dir.Write("out/书.epub", "old");
    CancellingUi cancelling;
    cancelling.answers.push_back(runtime::Answer::Yes);
    const EpubResult r = WriteEpub(Job(), cancelling);
    EXPECT_FALSE(r.written);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(*runtime::ReadWholeFile(old), "old");
    for (const auto& e : fs::directory_iterator(dir.Path() / "out")) EXPECT_EQ(e.path(), old);
}

}  // namespace
}  // namespace qx::epub
