// Every throw of the process passes here first: the C++ runtime's throw entry point is
// interposed, the stack recorded for this thread, and the runtime's own entry called.

#include "ThrowCapture.h"
#include "app/ThrowStack.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <typeinfo>

namespace brimble {

namespace {

struct TThreadThrowRecord {
    std::vector<uintptr_t> Addresses;
    bool Recording = false; // a throw while recording (out of memory) records nothing
};

TThreadThrowRecord& ThreadThrowRecord() {
    thread_local TThreadThrowRecord record;
    return record;
}

void RecordThrow() noexcept {
    TThreadThrowRecord& record = ThreadThrowRecord();
    if (record.Recording) return;
    record.Recording = true;
    try {
        record.Addresses = CaptureStackBelow(reinterpret_cast<uintptr_t>(&__cxxabiv1::__cxa_throw));
    } catch (...) {
        record.Addresses.clear();
    }
    record.Recording = false;
}

} // namespace

std::vector<uintptr_t> LastThrowAddresses() {
    return ThreadThrowRecord().Addresses;
}

} // namespace brimble

namespace __cxxabiv1 {

extern "C" void __cxa_throw(void* object, std::type_info* type, void (*destroy)(void*)) {
    brimble::RecordThrow();
    using TThrow = void (*)(void*, std::type_info*, void (*)(void*));
    static const auto next = reinterpret_cast<TThrow>(::dlsym(RTLD_NEXT, "__cxa_throw"));
    if (!next) __builtin_trap(); // a runtime linked in statically: no throw could work
    next(object, type, destroy);
    __builtin_unreachable();
}

} // namespace __cxxabiv1
