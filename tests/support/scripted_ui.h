#pragma once
// A Ui for tests: records every call and answers questions from a queue.

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/ui.h"

namespace qx::test {

class ScriptedUi : public runtime::Ui {
public:
    struct Call {
        enum Kind { Status, Ask, Message } kind;
        std::string text;
        std::string title;
        runtime::Buttons buttons = runtime::Buttons::Ok;
        runtime::Icon icon = runtime::Icon::None;
    };

    void Status(std::string_view text, bool) override { calls.push_back({Call::Status, std::string(text), {}}); }
    runtime::Answer Ask(std::string_view text, runtime::Buttons buttons, runtime::Icon icon,
                        std::string_view title) override {
        calls.push_back({Call::Ask, std::string(text), std::string(title), buttons, icon});
        if (answers.empty()) {
            unexpectedQuestion = true;
            return runtime::Answer::Cancel;
        }
        const auto a = answers.front();
        answers.pop_front();
        return a;
    }
    void Message(std::string_view text, runtime::Icon icon) override {
        calls.push_back({Call::Message, std::string(text), {}, runtime::Buttons::Ok, icon});
    }

    std::vector<std::string> Texts(Call::Kind kind) const {
        std::vector<std::string> out;
        for (const auto& c : calls) {
            if (c.kind == kind) out.push_back(c.text);
        }
        return out;
    }
    std::string LastStatus() const {
        auto s = Texts(Call::Status);
        return s.empty() ? std::string() : s.back();
    }

    std::deque<runtime::Answer> answers;
    std::vector<Call> calls;
    bool unexpectedQuestion = false;
};

// The test novels' directory, or empty when it is not there.
inline std::filesystem::path CorpusDir() {
    const char* dir = std::getenv("QX_CORPUS_DIR");
    if (dir && std::filesystem::is_directory(dir)) return dir;
    return {};
}

}  // namespace qx::test
