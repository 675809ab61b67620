#pragma once

#include "platform/Platform.h"

namespace brimble::win32 {

// ReadDirectoryChangesW on a whole tree, overlapped, so that a stop wakes it at once.
class Win32ChangeWatching final : public IChangeWatching {
public:
    std::unique_ptr<IChangeReader> OpenChangeReader(const std::string& root,
                                                    uint32_t filter) override;
};

} // namespace brimble::win32
