#include "platform/win32/Registry.h"

#include "platform/win32/UniqueHandle.h"
#include "platform/win32/WideText.h"

#include <vector>

namespace brimble::win32 {

std::optional<std::string> ShellFolderLocalAppData() {
    UniqueKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER,
                          L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                          0, nullptr, 0, KEY_READ, nullptr, key.Out(), nullptr) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key.Get(), L"Local AppData", nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    std::vector<wchar_t> value(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key.Get(), L"Local AppData", nullptr, &type,
                           reinterpret_cast<BYTE*>(value.data()), &size) != ERROR_SUCCESS)
        return std::nullopt;
    return Narrow(value.data());
}

OsResult SetRunValue(const std::string& name, const std::string& command, bool enable) {
    UniqueKey key;
    if (const LSTATUS opened =
            ::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, key.Out());
        opened != ERROR_SUCCESS)
        return OsResult::Fail(static_cast<int>(opened));
    const std::wstring valueName = Widen(name);
    LSTATUS status = ERROR_SUCCESS;
    if (enable) {
        const std::wstring data = Widen(command);
        // The size counts the terminating null.
        status = ::RegSetValueExW(key.Get(), valueName.c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(data.c_str()),
                                  static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    } else {
        status = ::RegDeleteValueW(key.Get(), valueName.c_str());
    }
    return status == ERROR_SUCCESS ? OsResult() : OsResult::Fail(static_cast<int>(status));
}

bool RunValueExists(const std::string& name) {
    UniqueKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, key.Out()) != ERROR_SUCCESS)
        return false;
    return ::RegQueryValueExW(key.Get(), Widen(name).c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

} // namespace brimble::win32
