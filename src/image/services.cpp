#include "image/services.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <algorithm>

#include "runtime/encoding.h"
#include "runtime/gbk_text.h"

namespace qx::image {

std::string_view RunTimeErrorText(int code) {
    switch (code) {
        case kIndexAboveCount: return "array index above the element count";
        case kIndexBelowOne: return "array index below 1";
        case kStackUnbalanced: return "stack unbalanced after a DLL call";
        case kUnknownCommand: return "unknown command";
        case kBadArgument: return "argument of the wrong type";
        case kUnknownControl: return "no such window or control";
        case kUnknownProperty: return "no such property";
        case kUnknownWindow: return "no such window in the form";
        case kUnknownService: return "no such service";
        case kOutOfMemory: return "out of memory";
    }
    return "run-time error";
}

bool IsKnownProperty(int property) {
    switch (property) {
        case kLeft: case kVisible: case kDisabled: case kText: case kDialogTitle: case kCaption: case kFileFilter:
        case kCurrentPage: case kInitialDirectory: case kCurrentTickItem: case kCurrentItem: case kTicked:
        case kSelectedLength:
            return true;
    }
    return false;
}

// ---- Controls of the form segment ----

FormControls::FormControls(const std::vector<FormWindow>& windows) {
    for (const FormWindow& w : windows) {
        for (std::size_t i = 0; i < w.units.size(); ++i) {
            const FormUnit& u = w.units[i];
            Control c;
            c.name = u.name;
            c.values[kLeft] = std::int64_t{u.left};
            c.values[kVisible] = u.Visible();
            c.values[kDisabled] = u.Disabled();
            m_controls[{w.identifier, i == 0 ? 0 : u.identifier}] = std::move(c);
        }
    }
}

std::optional<PropertyValue> FormControls::Read(std::uint32_t window, std::uint32_t control, int property) {
    const auto it = m_controls.find({window, control});
    if (it == m_controls.end()) return std::nullopt;
    const auto value = it->second.values.find(property);
    if (value != it->second.values.end()) return value->second;
    switch (property) {
        case kText: case kDialogTitle: case kCaption: case kFileFilter: case kInitialDirectory:
            return std::string();
        case kTicked:
            return false;
        default:
            return std::int64_t{0};
    }
}

bool FormControls::Write(std::uint32_t window, std::uint32_t control, int property, PropertyValue value) {
    const auto it = m_controls.find({window, control});
    if (it == m_controls.end()) return false;
    it->second.values[property] = std::move(value);
    return true;
}

std::uint32_t FormControls::ControlNamed(std::uint32_t window, std::string_view name) const {
    for (const auto& [key, control] : m_controls) {
        if (key.first == window && key.second != 0 && control.name == name) return key.second;
    }
    return 0;
}

// ---- The runtime ----

Runtime::Runtime(const ProgramImage& image)
    : m_image(image), m_formControls(image.windows), m_controls(&m_formControls),
      m_exit([](int code) { std::exit(code); }),
      m_report([](std::string_view text) { std::fwrite(text.data(), 1, text.size(), stderr); }) {}

Runtime::~Runtime() = default;

void Runtime::ReportError(int code) {
    m_report("run-time error " + std::to_string(code) + ": " + std::string(RunTimeErrorText(code)) + "\n");
    End(1);
}

namespace {

// WideCharToMultiByte(code page, flags, wide text, wide count, buffer,
// buffer size, default char, used default) for the GBK code page: the
// program's one declared DLL function.
std::int64_t WideCharToMultiByte(std::span<const std::uintptr_t> a) {
    const auto* wide = reinterpret_cast<const char16_t*>(a[2]);
    const auto count = static_cast<std::int32_t>(a[3]);
    auto* buffer = reinterpret_cast<char*>(a[4]);
    const auto size = static_cast<std::int32_t>(a[5]);
    if (!wide || count == 0 || count < -1 || size < 0) return 0;
    std::size_t units = 0;
    if (count == -1) {
        while (wide[units] != 0) ++units;
    } else {
        units = static_cast<std::size_t>(count);
    }
    std::string utf16(units * 2, '\0');
    for (std::size_t i = 0; i < units; ++i) {
        utf16[2 * i] = static_cast<char>(wide[i] & 0xFF);
        utf16[2 * i + 1] = static_cast<char>(wide[i] >> 8);
    }
    std::string gbk = runtime::Utf16LeToGbk(utf16);
    // A NUL inside the counted text ends the conversion; with count -1 the
    // terminating NUL is part of the output.
    if (count == -1) gbk.push_back('\0');
    if (size == 0) return static_cast<std::int64_t>(gbk.size());
    if (!buffer || gbk.size() > static_cast<std::size_t>(size)) return 0;
    std::memcpy(buffer, gbk.data(), gbk.size());
    return static_cast<std::int64_t>(gbk.size());
}

}  // namespace

std::int64_t Runtime::CallDll(int declaration, std::span<const std::uintptr_t> arguments) {
    if (declaration != 0) ReportError(kUnknownCommand);
    if (arguments.size() != 8) ReportError(kStackUnbalanced);
    return WideCharToMultiByte(arguments);
}

std::int64_t Runtime::CallLibrary(int library, int command, std::span<const Argument> arguments) {
    if (library == 0) return CallKernel(command, arguments);
    const auto it = m_libraries.find({library, command});
    if (library < 0 || static_cast<std::size_t>(library) >= m_image.libraries.size() || it == m_libraries.end())
        ReportError(kUnknownCommand);
    return it->second(*this, arguments);
}

std::int64_t Runtime::CallKernel(int command, std::span<const Argument> arguments) {
    const auto it = m_kernel.find(command);
    if (it == m_kernel.end()) ReportError(kUnknownCommand);
    return it->second(*this, arguments);
}

Argument Runtime::ReadProperty(std::uint32_t window, std::uint32_t control, int property) {
    if (!IsKnownProperty(property)) ReportError(kUnknownProperty);
    const std::optional<PropertyValue> value = m_controls->Read(window, control, property);
    if (!value) ReportError(kUnknownControl);
    if (const auto* text = std::get_if<std::string>(&*value)) {
        const auto block = static_cast<std::uint64_t>(TextResult(*text));
        return {static_cast<std::uint32_t>(block), static_cast<std::uint32_t>(block >> 32),
                static_cast<std::uint32_t>(ValueType::Text)};
    }
    if (const auto* flag = std::get_if<bool>(&*value))
        return {*flag ? 1u : 0u, 0, static_cast<std::uint32_t>(ValueType::Boolean)};
    if (const auto* number = std::get_if<double>(&*value)) return DoubleArgument(*number);
    return IntegerArgument(std::get<std::int64_t>(*value));
}

void Runtime::WriteProperty(std::uint32_t window, std::uint32_t control, int property, Argument value) {
    if (!IsKnownProperty(property)) ReportError(kUnknownProperty);
    PropertyValue v;
    switch (static_cast<ValueType>(value.type)) {
        case ValueType::Text: v = std::string(TextOf(value)); break;
        case ValueType::Boolean: v = value.low != 0; break;
        case ValueType::Double: v = DoubleOf(value); break;
        case ValueType::Integer: v = IntegerOf(value); break;
        default: ReportError(kBadArgument);
    }
    if (!m_controls->Write(window, control, property, std::move(v))) ReportError(kUnknownControl);
}

void* Runtime::Allocate(std::uint32_t size) {
    void* block = std::malloc(std::max<std::uint32_t>(size, 1));
    if (!block) ReportError(kOutOfMemory);  // the program does not test the result
    ++m_blocks;
    return block;
}

void* Runtime::Reallocate(void* block, std::uint32_t size) {
    if (!block) return Allocate(size);
    void* grown = std::realloc(block, std::max<std::uint32_t>(size, 1));
    if (!grown) ReportError(kOutOfMemory);
    return grown;
}

void Runtime::Free(void* block) {
    if (!block) return;
    std::free(block);
    --m_blocks;
}

void Runtime::End(int exitCode) {
    // The clean-up routine runs once, even if it ends the program itself.
    if (!m_ending) {
        m_ending = true;
        if (m_endRoutine) m_endRoutine();
    }
    m_exit(exitCode);
    std::exit(exitCode);  // an exit function that returns does not make End return
}

void Runtime::RunMessageLoop() {
    if (m_loop) m_loop();
}

void Runtime::LoadStartWindow(std::uint32_t window) {
    const FormWindow* w = m_image.FindWindow(window);
    if (!w) ReportError(kUnknownWindow);
    m_startWindow = window;
    if (m_loadWindow) m_loadWindow(*w);
}

std::intptr_t Runtime::Small(int subFunction, std::intptr_t a, std::intptr_t b, std::intptr_t c) {
    switch (subFunction) {
        case 0: return FindFile(a, b, c);
        case 1: m_searches.erase(a); return 0;
        case 2: return 0;  // an array is about to be resized in place: nothing to do here
        case 3: m_endRoutine = reinterpret_cast<void (*)()>(a); return 0;
    }
    ReportError(kUnknownService);
}

namespace {

// Windows wildcard matching on one name: '*' any run, '?' one byte.
bool Matches(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    const auto lower = [](char ch) { return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch; };
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || lower(pattern[p]) == lower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    // "*.*" matches names without a dot too, as on Windows.
    return p == pattern.size() || pattern.substr(p) == ".*";
}

}  // namespace

// Sub-function 0: the first match of a pattern ("dir\*.*", GBK, either
// separator), or with pattern 0 the next match of the search whose state
// lives at `state`. Mask 16 lists folders, otherwise files. The name comes
// back as a fresh Text, empty when there are no more.
std::intptr_t Runtime::FindFile(std::intptr_t pattern, std::intptr_t mask, std::intptr_t state) {
    if (pattern != 0) {
        std::string text(reinterpret_cast<const char*>(pattern));
        std::replace(text.begin(), text.end(), '\\', '/');
        const std::size_t slash = text.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : text.substr(0, slash + 1);
        const std::string wildcard = slash == std::string::npos ? text : text.substr(slash + 1);
        Search search;
        std::error_code ec;
        for (std::filesystem::directory_iterator it(runtime::GbkToUtf8(dir), ec), end; !ec && it != end;
             it.increment(ec)) {
            const bool folder = it->is_directory(ec);
            if (folder != ((mask & 16) != 0)) continue;
            const std::string name = runtime::Utf8ToGbk(it->path().filename().string());
            if (Matches(wildcard, name)) search.names.push_back(name);
        }
        std::sort(search.names.begin(), search.names.end());
        m_searches[state] = std::move(search);
    }
    const auto it = m_searches.find(state);
    if (it == m_searches.end() || it->second.next >= it->second.names.size())
        return static_cast<std::intptr_t>(TextResult(""));
    return static_cast<std::intptr_t>(TextResult(it->second.names[it->second.next++]));
}

std::int64_t Runtime::TextResult(std::string_view text) {
    auto* block = static_cast<char*>(Allocate(static_cast<std::uint32_t>(text.size() + 1)));
    std::memcpy(block, text.data(), text.size());
    block[text.size()] = '\0';
    return static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(block));
}

std::string_view Runtime::TextOf(const Argument& a) {
    if (a.Omitted()) return {};
    if (a.type != static_cast<std::uint32_t>(ValueType::Text)) ReportError(kBadArgument);
    const auto address = static_cast<std::uintptr_t>((static_cast<std::uint64_t>(a.high) << 32) | a.low);
    return address ? std::string_view(reinterpret_cast<const char*>(address)) : std::string_view();
}

std::int64_t Runtime::IntegerOf(const Argument& a) {
    if (a.Omitted()) return 0;
    if (a.type == static_cast<std::uint32_t>(ValueType::Integer)) return static_cast<std::int32_t>(a.low);
    if (a.type == static_cast<std::uint32_t>(ValueType::Double)) return static_cast<std::int64_t>(DoubleOf(a));
    if (a.type == static_cast<std::uint32_t>(ValueType::Boolean)) return a.low != 0;
    ReportError(kBadArgument);
}

double Runtime::DoubleOf(const Argument& a) {
    if (a.type == static_cast<std::uint32_t>(ValueType::Integer)) return static_cast<std::int32_t>(a.low);
    if (a.type != static_cast<std::uint32_t>(ValueType::Double)) ReportError(kBadArgument);
    return std::bit_cast<double>((static_cast<std::uint64_t>(a.high) << 32) | a.low);
}

Argument Runtime::TextArgument(const char* text) {
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(text));
    return {static_cast<std::uint32_t>(address), static_cast<std::uint32_t>(address >> 32),
            static_cast<std::uint32_t>(ValueType::Text)};
}

Argument Runtime::IntegerArgument(std::int64_t value) {
    return {static_cast<std::uint32_t>(value), static_cast<std::uint32_t>(static_cast<std::uint64_t>(value) >> 32),
            static_cast<std::uint32_t>(ValueType::Integer)};
}

Argument Runtime::DoubleArgument(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    return {static_cast<std::uint32_t>(bits), static_cast<std::uint32_t>(bits >> 32),
            static_cast<std::uint32_t>(ValueType::Double)};
}

// ---- The table ----

namespace {

Runtime* g_runtime = nullptr;

Runtime& Current() {
    if (!g_runtime) {
        std::fputs("run-time error: no runtime installed\n", stderr);
        std::abort();
    }
    return *g_runtime;
}

const ServiceTable kTable = {
    [](std::int32_t code) { Current().ReportError(code); },
    [](std::int32_t declaration, const std::uintptr_t* arguments, std::int32_t count) {
        return Current().CallDll(declaration, {arguments, static_cast<std::size_t>(std::max(count, 0))});
    },
    [](std::int32_t library, std::int32_t command, std::int32_t count, const Argument* arguments) {
        return Current().CallLibrary(library, command, {arguments, static_cast<std::size_t>(std::max(count, 0))});
    },
    [](std::int32_t command, std::int32_t count, const Argument* arguments) {
        return Current().CallKernel(command, {arguments, static_cast<std::size_t>(std::max(count, 0))});
    },
    [](std::uint32_t window, std::uint32_t control, std::int32_t property) {
        return Current().ReadProperty(window, control, property);
    },
    [](std::uint32_t window, std::uint32_t control, std::int32_t property, Argument value) {
        Current().WriteProperty(window, control, property, value);
    },
    [](std::uint32_t size) { return Current().Allocate(size); },
    [](void* block, std::uint32_t size) { return Current().Reallocate(block, size); },
    [](void* block) { Current().Free(block); },
    [](std::int32_t code) { Current().End(code); },
    [] { Current().RunMessageLoop(); },
    [](std::uint32_t window) { Current().LoadStartWindow(window); },
    [](std::int32_t sub, std::intptr_t a, std::intptr_t b, std::intptr_t c) { return Current().Small(sub, a, b, c); },
};

}  // namespace

void InstallRuntime(Runtime* runtime) { g_runtime = runtime; }
const ServiceTable& Services() { return kTable; }

void RegisterTextCommands(Runtime& rt) {
    const auto arg = [](std::span<const Argument> a, std::size_t i) { return i < a.size() ? a[i] : Argument{}; };
    rt.RegisterKernelCommand(1, [arg](Runtime& r, std::span<const Argument> a) {
        return runtime::Length(r.TextOf(arg(a, 0)));
    });
    rt.RegisterKernelCommand(2, [arg](Runtime& r, std::span<const Argument> a) {
        return r.TextResult(runtime::Left(r.TextOf(arg(a, 0)), r.IntegerOf(arg(a, 1))));
    });
    rt.RegisterKernelCommand(3, [arg](Runtime& r, std::span<const Argument> a) {
        return r.TextResult(runtime::Right(r.TextOf(arg(a, 0)), r.IntegerOf(arg(a, 1))));
    });
    rt.RegisterKernelCommand(4, [arg](Runtime& r, std::span<const Argument> a) {
        return r.TextResult(runtime::Mid(r.TextOf(arg(a, 0)), r.IntegerOf(arg(a, 1)), r.IntegerOf(arg(a, 2))));
    });
    rt.RegisterKernelCommand(5, [arg](Runtime& r, std::span<const Argument> a) {
        const Argument start = arg(a, 2);
        return runtime::Find(r.TextOf(arg(a, 0)), r.TextOf(arg(a, 1)), start.Omitted() ? 1 : r.IntegerOf(start));
    });
    rt.RegisterKernelCommand(6, [arg](Runtime& r, std::span<const Argument> a) {
        return r.TextResult(runtime::Trim(r.TextOf(arg(a, 0))));
    });
    rt.RegisterKernelCommand(7, [arg](Runtime& r, std::span<const Argument> a) {
        const Argument v = arg(a, 0);
        if (v.type == static_cast<std::uint32_t>(ValueType::Double)) return r.TextResult(runtime::NumberToText(r.DoubleOf(v)));
        return r.TextResult(runtime::NumberToText(r.IntegerOf(v)));
    });
    rt.RegisterKernelCommand(8, [arg](Runtime& r, std::span<const Argument> a) {
        return std::bit_cast<std::int64_t>(runtime::TextToNumber(r.TextOf(arg(a, 0))));
    });
}

}  // namespace qx::image
