#include "device_table.h"

#include <algorithm>

#include "device_keys.h"
#include "wide_text.h"

namespace ce::devmgr {

DeviceTable& DeviceTable::Get() {
    static DeviceTable table;
    return table;
}

bool DeviceTable::IndexTaken(const std::wstring& prefix, unsigned index) const {
    return std::ranges::any_of(entries_, [&](const Entry& entry) {
        return entry.device->Index() == index && EqualsIgnoreCase(entry.device->Prefix(), prefix);
    });
}

DeviceTable::Entry* DeviceTable::EntryOf(const std::shared_ptr<DeviceInstance>& device) {
    const auto found = std::ranges::find(entries_, device, &Entry::device);
    return found != entries_.end() ? &*found : nullptr;
}

std::shared_ptr<DeviceInstance> DeviceTable::Reserve(const std::wstring& prefix,
                                                     const std::wstring& deviceKey,
                                                     std::unique_ptr<DriverLibrary> library) {
    std::lock_guard lock(mutex_);
    if (entries_.empty()) {
        // No instance lives, so no active key can be current.
        RemoveAllActiveKeys();
    }
    for (unsigned index = kFirstIndex; index <= kLastIndex; ++index) {
        if (!IndexTaken(prefix, index)) {
            auto device =
                std::make_shared<DeviceInstance>(prefix, index, deviceKey, std::move(library));
            entries_.push_back({device, false});
            return device;
        }
    }
    return nullptr;
}

void DeviceTable::Publish(const std::shared_ptr<DeviceInstance>& device) {
    std::lock_guard lock(mutex_);
    if (Entry* entry = EntryOf(device)) {
        entry->published = true;
    }
}

void DeviceTable::Unpublish(const std::shared_ptr<DeviceInstance>& device) {
    std::lock_guard lock(mutex_);
    if (Entry* entry = EntryOf(device)) {
        entry->published = false;
    }
}

void DeviceTable::Release(const std::shared_ptr<DeviceInstance>& device) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const Entry& entry) { return entry.device == device; });
}

std::shared_ptr<DeviceInstance> DeviceTable::Find(std::wstring_view name) const {
    std::lock_guard lock(mutex_);
    const auto found = std::ranges::find_if(entries_, [&](const Entry& entry) {
        return entry.published && EqualsIgnoreCase(entry.device->Name(), name);
    });
    return found != entries_.end() ? found->device : nullptr;
}

std::vector<ce::host::ActiveDevice> DeviceTable::List() const {
    std::vector<ce::host::ActiveDevice> devices;
    {
        std::lock_guard lock(mutex_);
        for (const Entry& entry : entries_) {
            if (entry.published) {
                const DeviceInstance& device = *entry.device;
                devices.push_back(
                    {device.Name(), device.DeviceKey(), device.ActiveKey(), device.LibraryPath()});
            }
        }
    }
    std::ranges::sort(devices, {}, &ce::host::ActiveDevice::name);
    return devices;
}

}  // namespace ce::devmgr

namespace ce::host {

std::vector<ActiveDevice> ListActiveDevices() {
    return ce::devmgr::DeviceTable::Get().List();
}

}  // namespace ce::host
