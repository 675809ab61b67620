#pragma once

// Fixtures of the Windows back end's tests: a folder of the test's own on C: (a Wine prefix
// reports it as NTFS), files written and read with the plain Windows calls, and programs
// run as a user runs them.

#include "platform/win32/WideText.h"

#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace brimble::win32::test {

inline void WriteFile(const std::string& path, const std::string& bytes) {
    const HANDLE file = ::CreateFileW(ApiPath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    ASSERT_TRUE(ok && written == bytes.size()) << path;
}

inline std::string ReadFile(const std::string& path) {
    const HANDLE file = ::CreateFileW(ApiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    ::CloseHandle(file);
    return bytes;
}

// Removes a tree, links without following them.
inline void RemoveTree(const std::string& path) {
    const DWORD attr = ::GetFileAttributesW(ApiPath(path).c_str());
    if (attr == INVALID_FILE_ATTRIBUTES) return;
    if ((attr & FILE_ATTRIBUTE_DIRECTORY) && !(attr & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW data{};
        const HANDLE find = ::FindFirstFileW(ApiPath(path + "\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = Narrow(data.cFileName);
                if (name != "." && name != "..") RemoveTree(path + "\\" + name);
            } while (::FindNextFileW(find, &data));
            ::FindClose(find);
        }
    }
    ::SetFileAttributesW(ApiPath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (attr & FILE_ATTRIBUTE_DIRECTORY)
        ::RemoveDirectoryW(ApiPath(path).c_str());
    else
        ::DeleteFileW(ApiPath(path).c_str());
}

// A fresh folder on C: for one test, removed afterwards; Path has no trailing delimiter.
class TempFolder {
public:
    TempFolder() {
        static int count = 0;
        Path = "C:\\brimble-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
               std::to_string(++count);
        RemoveTree(Path);
        ::CreateDirectoryW(ApiPath(Path).c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(Path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string operator/(const std::string& name) const { return Path + "\\" + name; }

    std::string Path;
};

// The top-level window of that class that Process owns; null when there is none.
inline HWND WindowOf(DWORD process, const wchar_t* className) {
    struct Search {
        DWORD Process;
        const wchar_t* ClassName;
        HWND Found;
    } search{process, className, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            wchar_t name[64] = {};
            ::GetClassNameW(window, name, 64);
            if (owner != s.Process || std::wstring(name) != s.ClassName) return TRUE;
            s.Found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

struct ProgramRun {
    DWORD ExitCode = 0;
    std::string Output; // standard output and error together
};

// A path of the build tree (a Linux path) as a Windows program sees it: Wine's Z: is "/".
inline std::string HostPath(std::string path) {
    if (path.empty() || path.front() != '/') return path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return "Z:" + path;
}

inline ProgramRun RunProgram(const std::string& commandLine) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        ADD_FAILURE() << "no pipe";
        return run;
    }
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring command = Widen(commandLine);
    const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                                          nullptr, nullptr, &startup, &process);
    ::CloseHandle(writeEnd);
    if (!started) {
        ::CloseHandle(readEnd);
        ADD_FAILURE() << "cannot start " << commandLine << ": " << ::GetLastError();
        return run;
    }
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
        run.Output.append(buffer, got);
    ::CloseHandle(readEnd);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::GetExitCodeProcess(process.hProcess, &run.ExitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return run;
}

} // namespace brimble::win32::test
