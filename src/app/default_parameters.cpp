#include "app/default_parameters.h"

#include <cstddef>
#include <string>

#include "runtime/encoding.h"

namespace qx::app {

namespace embedded {
// Generated from data/params at build time (cmake/EmbedDefaults.cmake).
extern const unsigned char* const kParameterFileNames[24];
extern const unsigned char* const kParameterFileBytes[24];
extern const std::size_t kParameterFileSizes[24];
}  // namespace embedded

namespace {

// The data files are UTF-8 with LF line ends for easy reading and review; the
// parameter texts are GBK with CR LF. One trailing line end belongs to the
// file, not to the text.
runtime::Text TextOfFile(std::string_view utf8) {
    if (!utf8.empty() && utf8.back() == '\n') {
        utf8.remove_suffix(1);
        if (!utf8.empty() && utf8.back() == '\r') utf8.remove_suffix(1);
    }
    std::string lines;
    lines.reserve(utf8.size() + utf8.size() / 16);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;  // CR LF counts as LF
        if (c == '\n') lines += '\r';
        lines += c;
    }
    return runtime::Utf8ToGbk(lines);
}

// "NN_name.txt" names row NN.
std::string_view RowNameOfFile(std::string_view fileName) {
    constexpr std::string_view kExtension = ".txt";
    if (fileName.size() >= kExtension.size() && fileName.substr(fileName.size() - kExtension.size()) == kExtension) {
        fileName.remove_suffix(kExtension.size());
    }
    return fileName.size() > 3 ? fileName.substr(3) : std::string_view{};
}

struct Defaults {
    std::array<std::string, 24> names;  // storage behind DefaultParameter::name
    std::array<DefaultParameter, 24> rows;

    Defaults() {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto* name = reinterpret_cast<const char*>(embedded::kParameterFileNames[i]);
            const auto* bytes = reinterpret_cast<const char*>(embedded::kParameterFileBytes[i]);
            names[i] = runtime::Utf8ToGbk(RowNameOfFile(name));
            rows[i] = DefaultParameter{names[i], TextOfFile({bytes, embedded::kParameterFileSizes[i]})};
        }
    }
};

}  // namespace

const std::array<DefaultParameter, 24>& DefaultParameters() {
    static const Defaults defaults;
    return defaults.rows;
}

output::ParameterTexts DefaultParameterTexts() {
    output::ParameterTexts texts{};
    const auto& rows = DefaultParameters();
    for (std::size_t i = 0; i < rows.size(); ++i) texts[i + 1] = rows[i].content;
    return texts;
}

}  // namespace qx::app
