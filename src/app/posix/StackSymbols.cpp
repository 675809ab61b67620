// Taking a stack (backward-cpp's unwinder) and naming its frames (elfutils' libdw over the
// modules loaded in this process).

#include "ThrowCapture.h"
#include "app/ThrowStack.h"

#include <backward.hpp>
#include <cstdint>
#include <cxxabi.h>
#include <dlfcn.h>
#include <elfutils/libdwfl.h>
#include <memory>
#include <string_view>
#include <unistd.h>

namespace brimble {

namespace {

constexpr std::size_t kMaxFrames = 64;

struct TDwflEnd {
    void operator()(Dwfl* dwfl) const { dwfl_end(dwfl); }
};
using TDwfl = std::unique_ptr<Dwfl, TDwflEnd>;

struct TFree {
    void operator()(void* memory) const { std::free(memory); }
};

// The modules of this process, as the report is made.
TDwfl OpenProcessModules() {
    static const Dwfl_Callbacks callbacks = {
        .find_elf = dwfl_linux_proc_find_elf,
        .find_debuginfo = dwfl_standard_find_debuginfo,
        .section_address = nullptr,
        .debuginfo_path = nullptr,
    };
    TDwfl dwfl(dwfl_begin(&callbacks));
    if (!dwfl) return nullptr;
    dwfl_report_begin(dwfl.get());
    const int failed = dwfl_linux_proc_report(dwfl.get(), ::getpid());
    dwfl_report_end(dwfl.get(), nullptr, nullptr);
    if (failed != 0) return nullptr;
    return dwfl;
}

// A demangled name without its parameter list, so the line stays readable: the line
// number tells overloads apart.
std::string ProcedureName(const char* symbol) {
    int status = 0;
    const std::unique_ptr<char, TFree> demangled(
        abi::__cxa_demangle(symbol, nullptr, nullptr, &status));
    std::string name = status == 0 && demangled ? demangled.get() : symbol;
    // The compiler's copies of a function (" [clone .constprop.0]") are the function.
    if (const std::size_t clone = name.find(" [clone "); clone != std::string::npos)
        name.erase(clone);
    std::string_view rest(name);
    if (rest.ends_with(" const")) rest.remove_suffix(6);
    if (!rest.ends_with(')')) return name;
    int depth = 0;
    for (std::size_t i = rest.size(); i-- > 0;) {
        if (rest[i] == ')') ++depth;
        if (rest[i] == '(' && --depth == 0) return name.substr(0, i);
    }
    return name;
}

std::string FileName(std::string_view path) {
    return std::string(path.substr(path.find_last_of('/') + 1));
}

std::string Stem(std::string_view path) {
    const std::string name = FileName(path);
    return name.substr(0, name.find_last_of('.'));
}

// The source line of an address, with its file; none without line data.
struct TSourceLine {
    const char* File = nullptr;
    int Line = 0;
    Dwarf_Addr Start = 0; // the line's first instruction
};

std::optional<TSourceLine> SourceLine(Dwfl_Module* module, Dwarf_Addr pc) {
    Dwfl_Line* line = dwfl_module_getsrc(module, pc);
    TSourceLine source;
    if (line)
        source.File = dwfl_lineinfo(line, &source.Start, &source.Line, nullptr, nullptr, nullptr);
    if (!source.File || source.Line <= 0) return std::nullopt;
    return source;
}

// Names the frame of Pc (inside its call instruction) from the module's symbols and lines.
TStackFrame DescribeFrame(Dwfl* dwfl, uintptr_t pc) {
    TStackFrame frame;
    frame.Address = pc + 1; // the return address, just behind the call
    Dwfl_Module* module = dwfl ? dwfl_addrmodule(dwfl, pc) : nullptr;
    if (!module) return frame;
    Dwarf_Addr start = 0;
    dwfl_module_info(module, nullptr, &start, nullptr, nullptr, nullptr, nullptr, nullptr);
    frame.ModuleAddress = frame.Address - start;
    GElf_Off symbolOffset = 0;
    GElf_Sym symbol;
    const char* name =
        dwfl_module_addrinfo(module, pc, &symbolOffset, &symbol, nullptr, nullptr, nullptr);
    if (!name) return frame;
    frame.Procedure = ProcedureName(name);
    frame.ByteOffset = static_cast<int64_t>(symbolOffset) + 1;
    const std::optional<TSourceLine> line = SourceLine(module, pc);
    if (!line) return frame;
    frame.SourceFile = FileName(line->File);
    frame.Line = static_cast<unsigned>(line->Line);
    frame.ByteOffset = static_cast<int64_t>(frame.Address) - static_cast<int64_t>(line->Start);
    // The unit is where the procedure begins; the line may lie in code inlined into it.
    const std::optional<TSourceLine> first = SourceLine(module, pc - symbolOffset);
    frame.Unit = Stem(first ? first->File : line->File);
    if (first && std::string_view(first->File) == line->File && first->Line <= line->Line)
        frame.LinesFromProcedureStart = line->Line - first->Line;
    return frame;
}

} // namespace

std::vector<uintptr_t> CaptureStackBelow(uintptr_t hook) {
    backward::StackTrace trace;
    trace.load_here(kMaxFrames);
    std::vector<uintptr_t> addresses;
    addresses.reserve(trace.size());
    for (std::size_t i = 0; i < trace.size(); ++i) {
        const auto address = reinterpret_cast<uintptr_t>(trace[i].addr);
        // The end of the stack: no caller, whose address the unwinder gives as all ones.
        if (address == 0 || address == UINTPTR_MAX) break;
        addresses.push_back(address);
    }
    // The frames of the capture and of the hook are not the error's.
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        Dl_info info{};
        if (::dladdr(reinterpret_cast<void*>(addresses[i]), &info) != 0 &&
            reinterpret_cast<uintptr_t>(info.dli_saddr) == hook) {
            addresses.erase(addresses.begin(), addresses.begin() + static_cast<long>(i) + 1);
            break;
        }
    }
    return addresses;
}

std::vector<TStackFrame> ResolveStack(const std::vector<uintptr_t>& addresses) {
    if (addresses.empty()) return {};
    const TDwfl dwfl = OpenProcessModules();
    std::vector<TStackFrame> frames;
    frames.reserve(addresses.size());
    for (const uintptr_t pc : addresses)
        frames.push_back(DescribeFrame(dwfl.get(), pc));
    return frames;
}

} // namespace brimble
