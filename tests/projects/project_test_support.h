#pragma once
// Helpers of the project tests: files, fake outside programs, the PATH they
// are found on, and the built-in parameter texts.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/encoding.h"
#include "runtime/files.h"

namespace qx::test {

namespace fs = std::filesystem;

// UTF-8 text (a u8 literal) as a path and as bytes.
inline fs::path U8Path(std::u8string_view s) { return fs::path(std::u8string(s)); }
inline std::string U8Bytes(std::u8string_view s) { return std::string(s.begin(), s.end()); }

inline void WriteFile(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const fs::path& path) { return runtime::ReadWholeFile(path).value_or("<missing>"); }

// A shell script as a program: `body` runs after PATH is set to the system's
// own directories (the tests point PATH at a directory of fakes).
inline void WriteScript(const fs::path& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\nPATH=/usr/bin:/bin\n" + body + "\n");
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// A built-in parameter text from data/params (UTF-8, LF) as the program
// holds it: one trailing line end dropped, CR LF line ends, GBK.
inline std::optional<std::string> BuiltInParameter(const std::string& fileName) {
    const auto bytes = runtime::ReadWholeFile(fs::path(QX_PARAMS_DIR) / fileName);
    if (!bytes) return std::nullopt;
    std::string text = *bytes;
    if (text.ends_with("\r\n")) {
        text.resize(text.size() - 2);
    } else if (text.ends_with('\n')) {
        text.pop_back();
    }
    std::string crlf;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) crlf += '\r';
        crlf += text[i];
    }
    return runtime::Utf8ToGbk(crlf);
}

}  // namespace qx::test
