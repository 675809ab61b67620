#include "platform/posix/CompletionSound.h"

#include "platform/posix/SharedLibrary.h"

#include <cstdint>

namespace brimble::posix {

// One context of libcanberra, kept for the life of the process: the sound plays on after
// Play returns, and destroying the context would cut it off.
class CompletionSound::Context {
public:
    struct Handle;

    Context() : FLibrary("libcanberra.so.0") {
        Create = FLibrary.Get<int (*)(Handle**)>("ca_context_create");
        Destroy = FLibrary.Get<int (*)(Handle*)>("ca_context_destroy");
        PlayEvent = FLibrary.Get<int (*)(Handle*, uint32_t, ...)>("ca_context_play");
        if (!Create || !Destroy || !PlayEvent || Create(&FHandle) != 0) FHandle = nullptr;
    }
    ~Context() {
        if (FHandle) Destroy(FHandle);
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    bool Usable() const { return FHandle != nullptr; }
    void Play() {
        // The property list ends with a null pointer; "event.id" names the theme's sound.
        PlayEvent(FHandle, 0, "event.id", "complete", static_cast<const char*>(nullptr));
    }

private:
    SharedLibrary FLibrary;
    int (*Create)(Handle**) = nullptr;
    int (*Destroy)(Handle*) = nullptr;
    int (*PlayEvent)(Handle*, uint32_t, ...) = nullptr;
    Handle* FHandle = nullptr;
};

CompletionSound::CompletionSound() = default;
CompletionSound::~CompletionSound() = default;

void CompletionSound::Play() {
    const std::lock_guard lock(FMutex);
    if (!FOpened) {
        FOpened = true;
        FContext = std::make_unique<Context>();
        if (!FContext->Usable()) FContext.reset();
    }
    if (FContext) FContext->Play();
}

} // namespace brimble::posix
