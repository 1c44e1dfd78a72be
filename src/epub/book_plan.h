#pragma once
// What goes into an e-book's EPUB, from the Index as the user left it: a
// page per volume and per chapter in book order, the two-level contents
// (chapters of volume 0 at the top level), and the pictures that picture
// titles name.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "text/chapter_index.h"

namespace qx::epub {

struct Picture {
    std::filesystem::path source;  // the file beside the book
    std::string href;              // in the package: "images/<name>"
    std::string id;                // manifest id
    std::string mediaType;         // image/jpeg, image/png, …
};

// A title as the reader sees it: its text, and the picture of a picture
// title ("<img src=pic\1.jpg>" followed by a caption).
struct Heading {
    std::string text;  // UTF-8, not escaped
    std::optional<std::size_t> picture;  // index into Plan::pictures
};

struct Page {
    enum class Kind { Volume, Chapter };
    Kind kind = Kind::Chapter;
    std::string id;    // manifest id: "v0001", "c00001"
    std::string href;  // "text/c00001.xhtml"
    Heading heading;
    std::string label;   // the contents' entry for it (never empty)
    int chapter = -1;    // chapter index k of a chapter page
    int volumePage = -1;  // index of its volume's page, -1 for the top level
};

struct Plan {
    std::vector<Page> pages;
    std::vector<Picture> pictures;
    std::vector<std::string> missingPictures;  // UTF-8 names that picture titles give and no file has
};

// Builds the plan. Pictures are looked for as the picture title names them,
// relative to the book's folder, and in its "pic" folder.
Plan MakePlan(const text::ChapterIndex& index, const std::filesystem::path& inputFile);

// The media type of a picture by its name, nothing for one readers do not show.
std::optional<std::string> PictureMediaType(const std::filesystem::path& file);

}  // namespace qx::epub
