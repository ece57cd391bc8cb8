// The hot-plug monitor: libusb's hot-plug callbacks only queue what happened; a worker thread
// opens, plugs and unplugs (attach and detach take their time and must not run on libusb's
// event thread, which the devices' transfers need meanwhile).
#include "ce/host/libusb_bus.h"

#include <libusb.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "libusb_device.h"

namespace ce::host {

class LibusbBus::Impl {
  public:
    Impl(libusb_context* context, Options options)
        : context_(context), options_(std::move(options)) {
        events_ = std::thread([this] { HandleEvents(); });
        worker_ = std::thread([this] { Work(); });
        if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) != 0 &&
            libusb_hotplug_register_callback(
                context_, LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT,
                LIBUSB_HOTPLUG_ENUMERATE, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                LIBUSB_HOTPLUG_MATCH_ANY, &OnHotplug, this, &hotplug_) == LIBUSB_SUCCESS) {
            watching_ = true;
            return;
        }
        Report(
            "libusb cannot watch for devices coming and going here: the devices attached "
            "now are plugged, later ones only at the next start");
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context_, &list);
        for (ssize_t i = 0; i < count; ++i) {
            Queue(true, list[i]);
        }
        if (count >= 0) {
            libusb_free_device_list(list, 1);
        }
    }

    ~Impl() {
        if (watching_) {
            libusb_hotplug_deregister_callback(context_, hotplug_);
        }
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        worker_.join();
        for (const Change& change : changes_) {
            libusb_unref_device(change.device);
        }
        // Unplugging cancels the devices' transfers, which the event thread completes.
        for (const Plugged& plugged : plugged_) {
            Unplug(plugged);
        }
        stopEvents_ = true;
        libusb_interrupt_event_handler(context_);
        events_.join();
        libusb_exit(context_);
    }

    std::vector<UsbDeviceId> Devices() const {
        std::lock_guard lock(mutex_);
        std::vector<UsbDeviceId> ids;
        for (const Plugged& plugged : plugged_) {
            ids.push_back(plugged.id);
        }
        return ids;
    }

  private:
    struct Change {
        bool arrived;
        libusb_device* device;  // referenced
    };
    struct Plugged {
        libusb_device* device;  // referenced
        UsbDeviceId id;
        std::string label;
        std::shared_ptr<ce::usb::LibusbDevice> opened;
    };

    static int LIBUSB_CALL OnHotplug(libusb_context*, libusb_device* device,
                                     libusb_hotplug_event event, void* self) {
        static_cast<Impl*>(self)->Queue(event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED, device);
        return 0;  // stay registered
    }

    void Queue(bool arrived, libusb_device* device) {
        {
            std::lock_guard lock(mutex_);
            changes_.push_back({arrived, libusb_ref_device(device)});
        }
        wake_.notify_all();
    }

    void Report(const std::string& line) const {
        if (options_.report) {
            options_.report(line);
        }
    }

    void HandleEvents() {
        while (!stopEvents_) {
            timeval wait{0, 200000};
            libusb_handle_events_timeout_completed(context_, &wait, nullptr);
        }
    }

    void Work() {
        std::unique_lock lock(mutex_);
        while (true) {
            wake_.wait(lock, [this] { return stopping_ || !changes_.empty(); });
            if (stopping_) {
                return;
            }
            const Change change = changes_.front();
            changes_.pop_front();
            lock.unlock();
            if (change.arrived) {
                Arrive(change.device);
            } else {
                Leave(change.device);
            }
            libusb_unref_device(change.device);
            lock.lock();
        }
    }

    void Arrive(libusb_device* device) {
        if (!ce::usb::OffersVendorInterface(device)) {
            return;
        }
        std::string error;
        std::vector<std::string> notes;
        const auto opened = ce::usb::LibusbDevice::Open(device, &error, &notes);
        for (const std::string& note : notes) {
            Report(note);
        }
        if (!opened) {
            Report(error);
            return;
        }
        const std::shared_ptr<UsbDeviceModel> model =
            options_.wrap ? options_.wrap(opened) : std::shared_ptr<UsbDeviceModel>(opened);
        const std::string label = ce::usb::DeviceLabel(device);
        const UsbDeviceId id = PlugUsbDevice(model);
        {
            std::lock_guard lock(mutex_);
            plugged_.push_back({libusb_ref_device(device), id, label, opened});
        }
        Report(label + ": plugged in" + (IsUsbDeviceClaimed(id) ? "" : ", but no driver took it"));
    }

    void Leave(libusb_device* device) {
        std::unique_lock lock(mutex_);
        for (auto it = plugged_.begin(); it != plugged_.end(); ++it) {
            if (it->device == device) {
                const Plugged plugged = *it;
                plugged_.erase(it);
                lock.unlock();
                Unplug(plugged);
                return;
            }
        }
    }

    void Unplug(const Plugged& plugged) const {
        UnplugUsbDevice(plugged.id);
        plugged.opened->Close();
        libusb_unref_device(plugged.device);
        Report(plugged.label + ": unplugged");
    }

    libusb_context* const context_;
    const Options options_;
    libusb_hotplug_callback_handle hotplug_{};
    bool watching_ = false;
    std::atomic<bool> stopEvents_{false};
    std::thread events_;
    std::thread worker_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::deque<Change> changes_;
    std::vector<Plugged> plugged_;
};

std::unique_ptr<LibusbBus> LibusbBus::Start(Options options, std::string* error) {
    libusb_context* context = nullptr;
    if (const int result = libusb_init(&context); result != 0) {
        *error = std::string("libusb cannot be started: ") + libusb_strerror(result);
        return nullptr;
    }
    return std::unique_ptr<LibusbBus>(
        new LibusbBus(std::make_unique<Impl>(context, std::move(options))));
}

LibusbBus::LibusbBus(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
LibusbBus::~LibusbBus() = default;

std::vector<UsbDeviceId> LibusbBus::Devices() const {
    return impl_->Devices();
}

}  // namespace ce::host
