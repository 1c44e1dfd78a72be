#pragma once
// The runtime the program image talks to: its 13 services, in the order of
// the service table, mapped onto this program's own runtime (heap, files,
// the windows of the form segment, the message loop of the desktop
// program). One Runtime is installed per process; the table's plain
// function pointers forward to it.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "image/program_image.h"

namespace qx::image {

// Argument types of commands and property values.
enum class ValueType : std::uint32_t {
    Boolean = 0x80000002,
    Text = 0x80000004,
    ByteSet = 0x80000005,
    Integer = 0x80000301,
    Double = 0x80000601,
};

// One argument as the code passes it: value low, value high, type. A Text
// is the address of NUL-terminated GBK bytes (low and high together); an
// object is window identifier, control identifier, unit type; an omitted
// optional argument is three zero words.
struct Argument {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    std::uint32_t type = 0;
    bool Omitted() const { return low == 0 && high == 0 && type == 0; }
};

// Run-time error codes the program relies on.
inline constexpr int kIndexAboveCount = 1;
inline constexpr int kIndexBelowOne = 4;
inline constexpr int kStackUnbalanced = 6;
// Codes of this runtime for faults the image can cause.
inline constexpr int kUnknownCommand = 100;
inline constexpr int kBadArgument = 101;
inline constexpr int kUnknownControl = 102;
inline constexpr int kUnknownProperty = 103;
inline constexpr int kUnknownWindow = 104;
inline constexpr int kUnknownService = 105;
inline constexpr int kOutOfMemory = 106;
std::string_view RunTimeErrorText(int code);

// Property numbers of service 4 and 5.
enum Property : int {
    kLeft = 0,
    kVisible = 5,
    kDisabled = 6,
    kText = 8,
    kDialogTitle = 9,
    kCaption = 10,
    kFileFilter = 11,
    kCurrentPage = 12,
    kInitialDirectory = 13,
    kCurrentTickItem = 14,
    kCurrentItem = 16,
    kTicked = 18,
    kSelectedLength = 25,
};
bool IsKnownProperty(int property);

using PropertyValue = std::variant<std::int64_t, double, bool, std::string>;

// The controls behind the property services.
class ControlHost {
public:
    virtual ~ControlHost() = default;
    // The property's value; nothing when the control does not exist.
    virtual std::optional<PropertyValue> Read(std::uint32_t window, std::uint32_t control, int property) = 0;
    // Sets it; false when the control does not exist.
    virtual bool Write(std::uint32_t window, std::uint32_t control, int property, PropertyValue value) = 0;
};

// The controls of the form segment's windows, with the initial left edge,
// visibility and disabled state of their records; every other property
// starts empty (or 0) and keeps what is written. Control 0 is the window.
class FormControls : public ControlHost {
public:
    explicit FormControls(const std::vector<FormWindow>& windows);
    std::optional<PropertyValue> Read(std::uint32_t window, std::uint32_t control, int property) override;
    bool Write(std::uint32_t window, std::uint32_t control, int property, PropertyValue value) override;
    // The identifier of the control with this name in the window; 0 if none.
    std::uint32_t ControlNamed(std::uint32_t window, std::string_view name) const;

private:
    struct Control {
        std::string name;
        std::map<int, PropertyValue> values;
    };
    std::map<std::pair<std::uint32_t, std::uint32_t>, Control> m_controls;
};

// Ends the program; tests replace it to see the exit code without exiting.
using ExitFunction = std::function<void(int code)>;

class Runtime;
using Command = std::function<std::int64_t(Runtime&, std::span<const Argument>)>;

class Runtime {
public:
    // The image must have been read by ReadProgramImage.
    explicit Runtime(const ProgramImage& image);
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    const ProgramImage& Image() const { return m_image; }
    FormControls& Controls() { return m_formControls; }
    void SetControlHost(ControlHost* host) { m_controls = host ? host : &m_formControls; }
    void SetExit(ExitFunction exit) { m_exit = std::move(exit); }
    void SetErrorStream(std::function<void(std::string_view)> report) { m_report = std::move(report); }
    // Runs the windows until the main window closes.
    void SetMessageLoop(std::function<void()> loop) { m_loop = std::move(loop); }
    // Creates and shows a window of the form segment.
    void SetWindowLoader(std::function<void(const FormWindow&)> load) { m_loadWindow = std::move(load); }
    void RegisterKernelCommand(int number, Command command) { m_kernel[number] = std::move(command); }
    void RegisterLibraryCommand(int library, int number, Command command) {
        m_libraries[{library, number}] = std::move(command);
    }

    // The services, index 0 to 12.
    [[noreturn]] void ReportError(int code);
    std::int64_t CallDll(int declaration, std::span<const std::uintptr_t> arguments);
    std::int64_t CallLibrary(int library, int command, std::span<const Argument> arguments);
    std::int64_t CallKernel(int command, std::span<const Argument> arguments);
    Argument ReadProperty(std::uint32_t window, std::uint32_t control, int property);
    void WriteProperty(std::uint32_t window, std::uint32_t control, int property, Argument value);
    void* Allocate(std::uint32_t size);
    void* Reallocate(void* block, std::uint32_t size);
    void Free(void* block);
    [[noreturn]] void End(int exitCode);
    void RunMessageLoop();
    void LoadStartWindow(std::uint32_t window);
    std::intptr_t Small(int subFunction, std::intptr_t a, std::intptr_t b, std::intptr_t c);

    // Helpers for commands.
    std::int64_t TextResult(std::string_view text);  // a fresh block the caller frees
    std::string_view TextOf(const Argument& a);       // reports kBadArgument for a non-Text
    std::int64_t IntegerOf(const Argument& a);
    double DoubleOf(const Argument& a);
    static Argument TextArgument(const char* text);
    static Argument IntegerArgument(std::int64_t value);
    static Argument DoubleArgument(double value);

    std::size_t LiveBlocks() const { return m_blocks; }
    std::uint32_t StartWindow() const { return m_startWindow; }

private:
    struct Search {
        std::vector<std::string> names;
        std::size_t next = 0;
    };
    std::intptr_t FindFile(std::intptr_t pattern, std::intptr_t mask, std::intptr_t state);

    const ProgramImage& m_image;
    FormControls m_formControls;
    ControlHost* m_controls;
    ExitFunction m_exit;
    std::function<void(std::string_view)> m_report;
    std::function<void()> m_loop;
    std::function<void(const FormWindow&)> m_loadWindow;
    std::map<int, Command> m_kernel;
    std::map<std::pair<int, int>, Command> m_libraries;
    std::map<std::intptr_t, Search> m_searches;
    void (*m_endRoutine)() = nullptr;
    bool m_ending = false;
    std::size_t m_blocks = 0;
    std::uint32_t m_startWindow = 0;
};

// The service table as the image's code sees it.
struct ServiceTable {
    void (*reportError)(std::int32_t code);
    std::int64_t (*callDll)(std::int32_t declaration, const std::uintptr_t* arguments, std::int32_t count);
    std::int64_t (*callLibrary)(std::int32_t library, std::int32_t command, std::int32_t count, const Argument* arguments);
    std::int64_t (*callKernel)(std::int32_t command, std::int32_t count, const Argument* arguments);
    Argument (*readProperty)(std::uint32_t window, std::uint32_t control, std::int32_t property);
    void (*writeProperty)(std::uint32_t window, std::uint32_t control, std::int32_t property, Argument value);
    void* (*allocate)(std::uint32_t size);
    void* (*reallocate)(void* block, std::uint32_t size);
    void (*free)(void* block);
    void (*end)(std::int32_t exitCode);
    void (*runMessageLoop)();
    void (*loadStartWindow)(std::uint32_t window);
    std::intptr_t (*small)(std::int32_t subFunction, std::intptr_t a, std::intptr_t b, std::intptr_t c);
};
static_assert(sizeof(ServiceTable) == kServiceCount * sizeof(void*));

// The table of the installed runtime; `runtime` must outlive its use.
void InstallRuntime(Runtime* runtime);
const ServiceTable& Services();

// The kernel commands this runtime offers on GBK texts (positions from 1):
// 1 length, 2 left, 3 right, 4 middle, 5 find (text, what, [start]),
// 6 trim, 7 number to text, 8 text to number.
void RegisterTextCommands(Runtime& runtime);

}  // namespace qx::image
