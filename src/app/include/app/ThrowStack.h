#pragma once

// The call stack of every exception, taken where it is thrown: a hook on the throw itself
// records the return addresses on the throwing thread, and the debugging data of the loaded
// modules names them when a report asks. Only programs that link this part record stacks.

#include "engine/ErrorReportText.h"

#include <cstdint>
#include <vector>

namespace brimble {

// The code addresses (each inside its call instruction) of the last exception thrown on
// this thread, innermost first, starting at the function that threw; empty when none.
std::vector<uintptr_t> LastThrowAddresses();

// The frames of those addresses, named from the modules' debugging data.
std::vector<TStackFrame> ResolveStack(const std::vector<uintptr_t>& addresses);

// Both in one: the stack of the error being handled.
inline std::vector<TStackFrame> LastThrowStack() {
    return ResolveStack(LastThrowAddresses());
}

} // namespace brimble
