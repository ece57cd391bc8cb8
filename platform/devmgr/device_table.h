// The process's table of stream device instances: which names are taken and which devices a
// client can open. The table never calls into a driver.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ce/host/devmgr_host.h"
#include "device_instance.h"

namespace ce::devmgr {

class DeviceTable {
  public:
    static constexpr unsigned kFirstIndex = 1;
    static constexpr unsigned kLastIndex = 9;

    static DeviceTable& Get();

    // Takes the first free index of the prefix for a new instance; null when all are taken.
    // While no instance exists, leftover active keys are removed first.
    std::shared_ptr<DeviceInstance> Reserve(const std::wstring& prefix,
                                            const std::wstring& deviceKey,
                                            std::unique_ptr<DriverLibrary> library);
    // Makes a reserved instance visible to Find (after its Init succeeded).
    void Publish(const std::shared_ptr<DeviceInstance>& device);
    // Hides it from Find again (deactivation begins).
    void Unpublish(const std::shared_ptr<DeviceInstance>& device);
    // Frees its name.
    void Release(const std::shared_ptr<DeviceInstance>& device);

    // The published instance of that name (without regard to case), or null.
    std::shared_ptr<DeviceInstance> Find(std::wstring_view name) const;
    std::vector<ce::host::ActiveDevice> List() const;

  private:
    struct Entry {
        std::shared_ptr<DeviceInstance> device;
        bool published = false;
    };

    bool IndexTaken(const std::wstring& prefix, unsigned index) const;  // mutex_ held
    Entry* EntryOf(const std::shared_ptr<DeviceInstance>& device);      // mutex_ held

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace ce::devmgr
