#include "app/app_state.h"

#include "runtime/encoding.h"
#include "text/book_info.h"

namespace qx::app {

ChosenInput ChooseInputFile(AppState& state, const std::string& path) {
    ChosenInput chosen;
    chosen.path = path;
    state.inputDirectory = text::DirectoryOf(path);
    chosen.stem = runtime::Utf8ToGbk(text::StemOf(path));
    state.book.workingText.Close();
    state.filePage.inputPath = path;
    const auto info = text::ProposeBookInfo(chosen.stem);
    chosen.title = info.title;
    chosen.author = info.author;
    return chosen;
}

}  // namespace qx::app
