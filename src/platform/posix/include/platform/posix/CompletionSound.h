#pragma once

// The desktop's "complete" sound of the freedesktop sound theme, played through the
// desktop's event-sound library when it is installed; silence otherwise.

#include <memory>
#include <mutex>

namespace brimble::posix {

class CompletionSound {
public:
    CompletionSound();
    ~CompletionSound();
    CompletionSound(const CompletionSound&) = delete;
    CompletionSound& operator=(const CompletionSound&) = delete;

    // Starts the sound and returns; plays nothing when the library or a sound server is
    // missing. Any thread.
    void Play();

private:
    class Context;
    std::mutex FMutex;
    bool FOpened = false;
    std::unique_ptr<Context> FContext; // null when the library could not be used
};

} // namespace brimble::posix
