#include "platform/posix/Paths.h"

#include <memory>
#include <stdlib.h>
#include <vector>

namespace brimble::posix {

std::string WithoutTrailingSlash(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return std::string(path);
}

std::string WithTrailingSlash(std::string_view path) {
    std::string result = WithoutTrailingSlash(path);
    if (result != "/") result += '/';
    return result;
}

std::string LastComponent(std::string_view path) {
    const std::string trimmed = WithoutTrailingSlash(path);
    if (trimmed == "/") return {};
    const auto slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

namespace {

std::string RealPath(const std::string& path) {
    const std::unique_ptr<char, decltype(&::free)> resolved(::realpath(path.c_str(), nullptr),
                                                            &::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

} // namespace

std::string ResolvePath(const std::string& path) {
    if (path.empty() || path.front() != '/') return {};
    std::string head = WithoutTrailingSlash(path);
    std::string tail;
    // Walk up until a prefix exists; the root always does.
    for (;;) {
        if (std::string resolved = RealPath(head); !resolved.empty()) {
            if (tail.empty()) return resolved;
            return resolved == "/" ? "/" + tail : resolved + "/" + tail;
        }
        const auto slash = head.rfind('/');
        if (slash == std::string::npos) return {};
        const std::string component = head.substr(slash + 1);
        tail = tail.empty() ? component : component + "/" + tail;
        head = slash == 0 ? "/" : head.substr(0, slash);
    }
}

bool IsAtOrBelow(std::string_view path, std::string_view dir) {
    if (dir == "/") return !path.empty() && path.front() == '/';
    if (path.substr(0, dir.size()) != dir) return false;
    return path.size() == dir.size() || path[dir.size()] == '/';
}

int PosixPathRules::Compare(std::string_view a, std::string_view b) const {
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

bool PosixPathRules::IsAtOrBelow(std::string_view path, std::string_view folder) const {
    if (path.empty() || folder.empty()) return false;
    return posix::IsAtOrBelow(WithoutTrailingSlash(path), WithoutTrailingSlash(folder));
}

std::string PosixPathRules::Normalize(std::string_view path) const {
    if (path.empty() || path.front() != '/') return std::string(path);
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    while (pos < path.size()) {
        std::size_t end = path.find('/', pos);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(pos, end - pos);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = end + 1;
    }
    std::string result = "/";
    for (const std::string_view part : parts) {
        result += part;
        result += '/';
    }
    if (!parts.empty() && path.back() != '/') result.pop_back();
    return result;
}

} // namespace brimble::posix
