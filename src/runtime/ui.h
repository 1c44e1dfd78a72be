#pragma once
// How the core talks to the user: status texts, questions and message boxes.
// The desktop program shows them in its status bar and message boxes, the
// command line prints them and answers from its flags, tests script them.
// All texts are GBK.

#include <cstdint>
#include <string_view>

namespace qx::runtime {

enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };
enum class Icon { None, Error, Question, Exclamation, Information };

class Ui {
public:
    virtual ~Ui() = default;
    // First part of the status bar; `alsoTip` puts the text into its tip too.
    virtual void Status(std::string_view gbkText, bool alsoTip = false) = 0;
    virtual Answer Ask(std::string_view gbkText, Buttons buttons, Icon icon = Icon::None,
                       std::string_view gbkTitle = {}) = 0;
    virtual void Message(std::string_view gbkText, Icon icon = Icon::None) = 0;

    // Long work tells how far it has come: its stage (GBK, such as "输出")
    // and `done` of `total` steps (chapters, mostly). A window shows a
    // progress bar, a terminal an updating line.
    virtual void Progress(std::string_view gbkStage, std::int64_t done, std::int64_t total) {
        (void)gbkStage;
        (void)done;
        (void)total;
    }
    // Long work asks this between its steps and stops, changing nothing,
    // when it turns true (the user pressed cancel).
    virtual bool CancelRequested() { return false; }
};

}  // namespace qx::runtime
