#pragma once

// A shared library loaded at run time for as long as this object lives, so that the
// programs neither need its headers to build nor the library itself to run.

#include <dlfcn.h>

namespace brimble::posix {

class SharedLibrary {
public:
    explicit SharedLibrary(const char* name) : FHandle(::dlopen(name, RTLD_NOW | RTLD_LOCAL)) {}
    ~SharedLibrary() {
        if (FHandle) ::dlclose(FHandle);
    }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    explicit operator bool() const { return FHandle != nullptr; }

    // Null when the library or the symbol is missing.
    template <typename Function> Function Get(const char* symbol) const {
        return FHandle ? reinterpret_cast<Function>(::dlsym(FHandle, symbol)) : nullptr;
    }

private:
    void* FHandle;
};

} // namespace brimble::posix
