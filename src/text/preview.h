#pragma once
// The two previews of the book's structure on page "排版": the HTML of the
// balloon shown when a volume is selected in the tree, and preview.htm, a
// contents page of the whole book. Both lay chapters out four to a row:
// a row opens before chapters 1, 5, 9, … of a volume and closes after
// chapters 4, 8, …; a last, incomplete row is filled with empty cells.
// Titles go into the HTML as they are, without escaping.

#include <filesystem>
#include <optional>
#include <string_view>

#include "text/chapter_index.h"

namespace qx::text {

inline constexpr std::string_view kPreviewFileName = "preview.htm";

// The balloon text (GBK HTML) for the node selected in the tree, or nothing
// when no balloon is shown. Node 0 always shows its own text, whether the
// instant preview (选择框_即时预览) is ticked or not; another volume shows
// its title and chapter grid, or a picture volume its caption, only when it
// is ticked; a chapter node, no selection (-1) or an absent node shows none.
std::optional<Text> BalloonText(const IndexTree& tree, int selectedNode, bool instantPreview);

// The image tag on the contents page for a picture volume: the file part of
// the volume's tag (what follows its last "/", or its last backslash, or
// "src="), with the rest of the tag, under "pic\" in `pictureDirectory`. A
// tag without a file part is shown as it stands.
Text PreviewImageTag(std::string_view volumeText, std::string_view pictureDirectory);

// The picture directory of an input file: its directory with a trailing
// separator, as GBK text. The book's pictures lie in "pic" inside it.
Text PictureDirectoryOf(const std::filesystem::path& inputFile);

// The bytes of preview.htm (GBK, CR LF line ends): one heading row per
// volume (a picture row for a picture volume), its chapters four to a row,
// with the book's title and author (编辑框_书名, 编辑框_作者, GBK). Nothing
// for an empty tree: there is nothing to preview.
std::optional<Text> BuildPreviewPage(const IndexTree& tree, std::string_view title, std::string_view author,
                                     std::string_view pictureDirectory);

// Writes preview.htm into the Output directory, creating the directory when
// it is missing and replacing an older page. Returns the file's path, or
// nothing when the directory is empty or cannot be made or the file cannot
// be written (the preview window then falls back to the e-book's start page).
std::optional<std::filesystem::path> WritePreviewFile(const std::filesystem::path& outputDir,
                                                      std::string_view bytes);

}  // namespace qx::text
