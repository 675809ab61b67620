// Change watching: every reader has its own queue, filled by the tree changes below its root.

#include "platform/sim/SimCore.h"

namespace brimble::sim {

using detail::Core;
using detail::ReaderQueue;

namespace {

class SimChangeReader final : public IChangeReader {
public:
    SimChangeReader(std::shared_ptr<Core> core, std::shared_ptr<ReaderQueue> queue)
        : FCore(std::move(core)), FQueue(std::move(queue)) {}

    ~SimChangeReader() override {
        std::lock_guard lock(FCore->Mutex);
        auto& readers = FCore->Readers;
        std::erase(readers, FQueue);
    }

    bool Read(std::vector<ChangeRecord>& records) override {
        records.clear();
        std::unique_lock lock(FCore->Mutex);
        ReaderQueue& q = *FQueue;
        q.Cond.wait(lock, [&q] { return q.Woken || q.Failed || q.Overflow || !q.Records.empty(); });
        if (q.Woken) {
            q.Woken = false;
            return false;
        }
        if (q.Failed) return false;
        if (q.Overflow) {
            // The lost batch reads as one zeroed record; later changes come with the next read.
            q.Overflow = false;
            records.push_back(ChangeRecord{fileaction::None, ""});
            return true;
        }
        records.assign(std::make_move_iterator(q.Records.begin()),
                       std::make_move_iterator(q.Records.end()));
        q.Records.clear();
        return true;
    }

    void Wake() override {
        std::lock_guard lock(FCore->Mutex);
        FQueue->Woken = true;
        FQueue->Cond.notify_all();
    }

private:
    std::shared_ptr<Core> FCore;
    std::shared_ptr<ReaderQueue> FQueue;
};

} // namespace

std::unique_ptr<IChangeReader> SimPlatform::OpenChangeReader(const std::string& root,
                                                             uint32_t filter) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const detail::Node* folder = c.Find(root, true).Entry;
    if (!folder || !folder->IsDir) return nullptr;
    auto queue = std::make_shared<ReaderQueue>();
    queue->Root = Core::FolderPathOf(*folder);
    queue->Filter = filter;
    c.Readers.push_back(queue);
    return std::make_unique<SimChangeReader>(FState->Shared, std::move(queue));
}

void SimPlatform::OverflowChanges(const std::string& root) {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    const detail::Node* folder = c.Find(root, true).Entry;
    if (!folder || !folder->IsDir) detail::SetupError("no such folder", root);
    const std::string canonical = Core::FolderPathOf(*folder);
    for (auto& reader : c.Readers) {
        if (reader->Root != canonical) continue;
        reader->Records.clear();
        reader->Overflow = true;
        reader->Cond.notify_all();
    }
}

int SimPlatform::ChangeReaderCount() {
    auto& c = *FState->Shared;
    std::lock_guard lock(c.Mutex);
    return static_cast<int>(c.Readers.size());
}

} // namespace brimble::sim
