#pragma once
// The texts of an EPUB 3 package: container, package document, navigation
// document and NCX, the pages, the style sheet. All UTF-8.

#include <string>
#include <string_view>

#include "epub/book_plan.h"

namespace qx::epub {

// What every document of a book shares.
struct BookFacts {
    std::string title;       // UTF-8, not escaped
    std::string author;
    std::string language;    // "zh-CN" or "zh-TW"
    std::string identifier;  // "urn:uuid:…"
    std::string modified;    // "2026-12-09T04:00:00Z"
    bool hasCover = false;
    std::string coverHref;       // "images/cover.jpg"
    std::string coverMediaType;  // "image/jpeg"
};

inline constexpr std::string_view kMimetype = "application/epub+zip";
inline constexpr const char* kPackagePath = "OEBPS/content.opf";

std::string ContainerXml();
std::string PackageDocument(const BookFacts& book, const Plan& plan);
std::string NavigationDocument(const BookFacts& book, const Plan& plan);
std::string Ncx(const BookFacts& book, const Plan& plan);
std::string TitlePage(const BookFacts& book);
std::string CoverPage(const BookFacts& book);
// A volume's page: its title (and picture).
std::string VolumePage(const BookFacts& book, const Plan& plan, const Page& page);
// A chapter's page: its heading and the paragraphs of `gbkBody`.
std::string ChapterPage(const BookFacts& book, const Plan& plan, const Page& page, std::string_view gbkBody);
std::string DefaultStyleSheet();

}  // namespace qx::epub
