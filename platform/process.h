// A simulated process: its handle table. Handles belong to a process; the same value means
// nothing in another one.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

class Platform;
class WaitableObject;

// What a handle refers to: an event, a mutex, a thread, a file, a registry key, a device file.
class HandleObject {
  public:
    virtual ~HandleObject() = default;
    virtual const char* TypeName() const = 0;
    // The dispatcher object to wait on, when the handle can be waited on.
    virtual WaitableObject* Waitable() { return nullptr; }
    // The handle that referred to it was closed (device files send cleanup and close here).
    virtual void HandleClosed() {}
};

class Process {
  public:
    Process(Platform& platform, std::string name, std::uint32_t id);
    ~Process();

    Platform& OwningPlatform() const { return platform_; }
    const std::string& Name() const { return name_; }
    std::uint32_t Id() const { return id_; }

    void* Insert(std::shared_ptr<HandleObject> object);
    std::shared_ptr<HandleObject> Lookup(void* handle) const;
    template <typename T>
    std::shared_ptr<T> LookupAs(void* handle) const {
        return std::dynamic_pointer_cast<T>(Lookup(handle));
    }
    bool Close(void* handle);
    void CloseAll();
    std::size_t HandleCount() const;

  private:
    Platform& platform_;
    std::string name_;
    std::uint32_t id_;
    mutable std::mutex mutex_;
    std::map<std::uintptr_t, std::shared_ptr<HandleObject>> handles_;
    std::uintptr_t nextHandle_ = 4;
};

}  // namespace platform
