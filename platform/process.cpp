#include "platform/process.h"

namespace platform {

Process::Process(Platform& platform, std::string name, std::uint32_t id)
    : platform_(platform), name_(std::move(name)), id_(id) {}

Process::~Process() {
    CloseAll();
}

void* Process::Insert(std::shared_ptr<HandleObject> object) {
    std::lock_guard lock(mutex_);
    std::uintptr_t value = nextHandle_;
    nextHandle_ += 4;
    handles_.emplace(value, std::move(object));
    return reinterpret_cast<void*>(value);
}

std::shared_ptr<HandleObject> Process::Lookup(void* handle) const {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == handles_.end() ? nullptr : it->second;
}

bool Process::Close(void* handle) {
    std::shared_ptr<HandleObject> object;
    {
        std::lock_guard lock(mutex_);
        auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == handles_.end()) {
            return false;
        }
        object = std::move(it->second);
        handles_.erase(it);
    }
    // Outside the table lock: closing a device file calls into its driver.
    object->HandleClosed();
    return true;
}

void Process::CloseAll() {
    for (;;) {
        void* handle;
        {
            std::lock_guard lock(mutex_);
            if (handles_.empty()) {
                return;
            }
            handle = reinterpret_cast<void*>(handles_.begin()->first);
        }
        Close(handle);
    }
}

std::size_t Process::HandleCount() const {
    std::lock_guard lock(mutex_);
    return handles_.size();
}

}  // namespace platform
