#include "support/usbfs_emulation.h"

#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <span>

#include "ce/host/clock.h"

namespace ots::test {

namespace {

// libusb asks for finished URBs without waiting, as soon as the node polls writable, which a
// umockdev node always does: a request with nothing finished waits this long before EAGAIN,
// unless an interrupt URB is about to be submitted again (the wait would hold that up).
constexpr auto kReapWait = std::chrono::milliseconds(2);

constexpr BYTE kGetDescriptor = 6;
constexpr WORD kDeviceDescriptor = 0x0100;
constexpr WORD kConfigDescriptor = 0x0200;

struct DataUnref {
    void operator()(UMockdevIoctlData* data) const { g_object_unref(data); }
};
using DataPtr = std::unique_ptr<UMockdevIoctlData, DataUnref>;

DataPtr Resolve(UMockdevIoctlData* data, std::size_t offset, std::size_t length) {
    return DataPtr(umockdev_ioctl_data_resolve(data, offset, length, nullptr));
}

usbdevfs_urb& UrbOf(UMockdevIoctlData* urb) {
    return *reinterpret_cast<usbdevfs_urb*>(urb->data);
}

DataPtr UrbBuffer(UMockdevIoctlData* urb) {
    return Resolve(urb, offsetof(usbdevfs_urb, buffer),
                   static_cast<std::size_t>(UrbOf(urb).buffer_length));
}

int StatusOf(DWORD usbError) {
    switch (usbError) {
        case USB_NO_ERROR:
            return 0;
        case USB_STALL_ERROR:
            return -EPIPE;
        default:
            return -EPROTO;
    }
}

// What a kernel reads at enumeration: the device descriptor and the whole configuration,
// asked of the device itself.
std::vector<std::uint8_t> ReadDescriptors(ce::host::UsbDeviceModel& model) {
    std::vector<std::uint8_t> device(18);
    model.Control({0x80, kGetDescriptor, kDeviceDescriptor, 0, 18}, device);
    std::vector<std::uint8_t> config(9);
    model.Control({0x80, kGetDescriptor, kConfigDescriptor, 0, 9}, config);
    config.resize(static_cast<std::size_t>(config[2] | config[3] << 8));
    const auto read = model.Control(
        {0x80, kGetDescriptor, kConfigDescriptor, 0, static_cast<WORD>(config.size())}, config);
    config.resize(read.bytesTransferred);
    device.insert(device.end(), config.begin(), config.end());
    return device;
}

std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string text;
    char pair[3];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(pair, sizeof(pair), "%02x", byte);
        text += pair;
    }
    return text;
}

}  // namespace

bool InUsbfsEmulation() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

// --- the device ------------------------------------------------------------------------------

EmulatedUsbDevice::EmulatedUsbDevice(UMockdevTestbed* testbed, int address,
                                     std::shared_ptr<ce::host::UsbDeviceModel> model,
                                     InterfaceHolder holder)
    : testbed_(testbed), model_(std::move(model)), holder_(std::move(holder)) {
    char number[4];
    std::snprintf(number, sizeof(number), "%03d", address);
    node_ = std::string("/dev/bus/usb/001/") + number;
    // Added as something libusb does not look at (umockdev announces it at once), then made a
    // USB device once its node is served.
    const std::string description = "P: /devices/usb1/1-" + std::to_string(address) +
                                    "\nN: bus/usb/001/" + number +
                                    "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_pending\nE: BUSNUM=001"
                                    "\nE: DEVNUM=" +
                                    number + "\nE: DEVNAME=" + node_ +
                                    "\nA: busnum=1\\n\nA: devnum=" + std::to_string(address) +
                                    "\\n\nA: speed=12\\n\nA: bConfigurationValue=1\\n"
                                    "\nH: descriptors=" +
                                    Hex(ReadDescriptors(*model_)) + "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, description.c_str(), &error)) {
        ADD_FAILURE() << "umockdev refused the device: " << error->message;
        g_error_free(error);
        return;
    }
    sysPath_ = "/sys/devices/usb1/1-" + std::to_string(address);
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&EmulatedUsbDevice::OnIoctl), this);
    if (!umockdev_testbed_attach_ioctl(testbed_, node_.c_str(), handler_, &error)) {
        ADD_FAILURE() << "umockdev cannot serve " << node_ << ": " << error->message;
        g_error_free(error);
    }
    model_->Connected(this);
    umockdev_testbed_set_property(testbed_, sysPath_.c_str(), "DEVTYPE", "usb_device");
    umockdev_testbed_uevent(testbed_, sysPath_.c_str(), "add");
}

EmulatedUsbDevice::~EmulatedUsbDevice() {
    if (!gone_) {
        model_->Disconnected();
    }
    if (handler_ != nullptr) {
        umockdev_testbed_detach_ioctl(testbed_, node_.c_str(), nullptr);
        g_object_unref(handler_);
    }
    for (auto& [endpoint, queue] : queued_) {
        for (UMockdevIoctlData* urb : queue) {
            g_object_unref(urb);
        }
    }
    for (const Done& done : done_) {
        g_object_unref(done.urb);
    }
}

void EmulatedUsbDevice::Unplug() {
    {
        std::lock_guard lock(mutex_);
        gone_ = true;
        for (auto& [endpoint, queue] : queued_) {
            for (UMockdevIoctlData* urb : queue) {
                done_.push_back({urb, -ESHUTDOWN, {}, 0});
            }
            queue.clear();
        }
        changed_.notify_all();
    }
    model_->Disconnected();
    umockdev_testbed_uevent(testbed_, sysPath_.c_str(), "remove");
}

std::size_t EmulatedUsbDevice::HaltsCleared() const {
    std::lock_guard lock(mutex_);
    return haltsCleared_;
}

bool EmulatedUsbDevice::KernelDriverDetached() const {
    std::lock_guard lock(mutex_);
    return driverDetached_;
}

// --- usbdevfs, as libusb uses it -------------------------------------------------------------

int EmulatedUsbDevice::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self) {
    return static_cast<EmulatedUsbDevice*>(self)->Handle(client) ? TRUE : FALSE;
}

bool EmulatedUsbDevice::Handle(UMockdevIoctlClient* client) {
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            const DataPtr caps = Resolve(arg, 0, sizeof(std::uint32_t));
            *reinterpret_cast<std::uint32_t*>(caps->data) =
                USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        }
        case USBDEVFS_SUBMITURB:
            Submit(client);
            return true;
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY:
            Reap(client);
            return true;
        case USBDEVFS_DISCARDURB:
            Discard(client);
            return true;
        case USBDEVFS_CLEAR_HALT: {
            const DataPtr endpoint = Resolve(arg, 0, sizeof(unsigned int));
            std::lock_guard lock(mutex_);
            halted_.erase(static_cast<BYTE>(*reinterpret_cast<unsigned int*>(endpoint->data)));
            ++haltsCleared_;
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        }
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_GETDRIVER:
        case USBDEVFS_IOCTL:
        case USBDEVFS_DISCONNECT_CLAIM:
            DriverControl(client, request);
            return true;
        case USBDEVFS_RELEASEINTERFACE:
        case USBDEVFS_SETINTERFACE:
        case USBDEVFS_SETCONFIGURATION:
        case USBDEVFS_RESETEP: {
            std::lock_guard lock(mutex_);
            umockdev_ioctl_client_complete(client, gone_ ? -1 : 0, gone_ ? ENODEV : 0);
            return true;
        }
        default:
            umockdev_ioctl_client_complete(client, -1, ENOTTY);
            return true;
    }
}

// Claiming, and the kernel driver bound to the interface: asked for, detached, given back.
void EmulatedUsbDevice::DriverControl(UMockdevIoctlClient* client, unsigned long request) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    std::lock_guard lock(mutex_);
    const bool bound = !holder_.kernelDriver.empty() && !driverDetached_;
    int error = 0;
    if (gone_) {
        error = ENODEV;
    } else if (request == USBDEVFS_GETDRIVER) {
        const DataPtr query = Resolve(arg, 0, sizeof(usbdevfs_getdriver));
        auto& driver = *reinterpret_cast<usbdevfs_getdriver*>(query->data);
        std::snprintf(driver.driver, sizeof(driver.driver), "%s", holder_.kernelDriver.c_str());
        error = bound ? 0 : ENODATA;
    } else if (request == USBDEVFS_IOCTL) {
        const DataPtr command = Resolve(arg, 0, sizeof(usbdevfs_ioctl));
        const int code = reinterpret_cast<usbdevfs_ioctl*>(command->data)->ioctl_code;
        if (code == static_cast<int>(USBDEVFS_DISCONNECT)) {
            error = bound ? 0 : ENODATA;
            driverDetached_ = driverDetached_ || bound;
        } else if (code == static_cast<int>(USBDEVFS_CONNECT)) {
            driverDetached_ = false;
        } else {
            error = ENOTTY;
        }
    } else if (holder_.program) {
        error = EBUSY;
    } else if (request == USBDEVFS_DISCONNECT_CLAIM) {
        driverDetached_ = driverDetached_ || bound;
    } else if (bound) {
        error = EBUSY;  // a plain claim of an interface a driver holds
    }
    umockdev_ioctl_client_complete(client, error == 0 ? 0 : -1, error);
}

void EmulatedUsbDevice::Submit(UMockdevIoctlClient* client) {
    DataPtr urb = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_urb));
    const usbdevfs_urb& fields = UrbOf(urb.get());
    {
        std::lock_guard lock(mutex_);
        if (gone_) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return;
        }
    }
    if (fields.type == USBDEVFS_URB_TYPE_CONTROL) {
        SubmitControl(urb.release());
    } else if ((fields.endpoint & 0x80) == 0) {
        SubmitOut(urb.release());
    } else {
        std::lock_guard lock(mutex_);
        auto& queue = queued_[fields.endpoint];
        queue.push_back(urb.release());
        ring_[fields.endpoint] = std::max(ring_[fields.endpoint], queue.size());
        ServiceLocked(fields.endpoint);
    }
    umockdev_ioctl_client_complete(client, 0, 0);
}

// The device answers at once; libusb reaps the answer afterwards.
void EmulatedUsbDevice::SubmitControl(UMockdevIoctlData* urb) {
    const DataPtr buffer = UrbBuffer(urb);
    std::span<std::uint8_t> bytes(buffer->data, static_cast<std::size_t>(buffer->data_len));
    USB_DEVICE_REQUEST setup{};
    setup.bmRequestType = bytes[0];
    setup.bRequest = bytes[1];
    setup.wValue = static_cast<WORD>(bytes[2] | bytes[3] << 8);
    setup.wIndex = static_cast<WORD>(bytes[4] | bytes[5] << 8);
    setup.wLength = static_cast<WORD>(bytes[6] | bytes[7] << 8);
    std::vector<std::uint8_t> data(bytes.begin() + 8, bytes.begin() + 8 + setup.wLength);
    bool responding = false;
    {
        std::lock_guard lock(mutex_);
        responding = responding_;
    }
    const ce::host::ControlResult result =
        responding ? model_->Control(setup, data) : ce::host::ControlResult{USB_CRC_ERROR, 0};
    const bool in = (setup.bmRequestType & 0x80) != 0;
    data.resize(in ? result.bytesTransferred : 0);
    std::lock_guard lock(mutex_);
    done_.push_back(
        {urb, StatusOf(result.usbError), std::move(data), 8, in ? 0 : result.bytesTransferred});
    changed_.notify_all();
}

void EmulatedUsbDevice::SubmitOut(UMockdevIoctlData* urb) {
    const DataPtr buffer = UrbBuffer(urb);
    const ce::host::ControlResult result = model_->DataOut(
        UrbOf(urb).endpoint,
        std::span<const BYTE>(buffer->data, static_cast<std::size_t>(buffer->data_len)));
    std::lock_guard lock(mutex_);
    done_.push_back({urb, StatusOf(result.usbError), {}, 0, result.bytesTransferred});
    changed_.notify_all();
}

void EmulatedUsbDevice::Reap(UMockdevIoctlClient* client) {
    std::unique_lock lock(mutex_);
    if (done_.empty() && !gone_ && !RefillDueLocked()) {
        changed_.wait_for(lock, kReapWait, [this] { return !done_.empty() || gone_; });
    }
    if (done_.empty()) {
        const int error = gone_ ? ENODEV : EAGAIN;
        lock.unlock();
        umockdev_ioctl_client_complete(client, -1, error);
        return;
    }
    const Done done = std::move(done_.front());
    done_.pop_front();
    changed_.notify_all();
    lock.unlock();
    usbdevfs_urb& urb = UrbOf(done.urb);
    std::size_t length = done.sent;
    if (!done.data.empty()) {
        const DataPtr buffer = UrbBuffer(done.urb);
        length =
            std::min(done.data.size(), static_cast<std::size_t>(buffer->data_len) - done.offset);
        std::vector<std::uint8_t> bytes(done.data.begin(), done.data.begin() + length);
        umockdev_ioctl_data_update(buffer.get(), done.offset, bytes.data(),
                                   static_cast<int>(bytes.size()));
    }
    urb.status = done.status;
    urb.actual_length = static_cast<int>(length);
    const DataPtr reaped = Resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(void*));
    umockdev_ioctl_data_set_ptr(reaped.get(), 0, done.urb);
    g_object_unref(done.urb);
    umockdev_ioctl_client_complete(client, 0, 0);
}

// A discarded URB is reaped with ENOENT.
void EmulatedUsbDevice::Discard(UMockdevIoctlClient* client) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const auto address = *reinterpret_cast<const gulong*>(arg->data);
    std::lock_guard lock(mutex_);
    for (auto& [endpoint, queue] : queued_) {
        const auto it = std::ranges::find(queue, address, &UMockdevIoctlData::client_addr);
        if (it != queue.end()) {
            done_.push_back({*it, -ENOENT, {}, 0});
            queue.erase(it);
            changed_.notify_all();
            umockdev_ioctl_client_complete(client, 0, 0);
            return;
        }
    }
    umockdev_ioctl_client_complete(client, -1, EINVAL);
}

void EmulatedUsbDevice::ServiceLocked(BYTE endpoint) {
    auto& queue = queued_[endpoint];
    auto& fifo = fifo_[endpoint];
    while (!queue.empty() && (halted_.count(endpoint) != 0 || !fifo.empty())) {
        if (halted_.count(endpoint) != 0) {
            done_.push_back({queue.front(), -EPIPE, {}, 0});
        } else {
            done_.push_back({queue.front(), 0, std::move(fifo.front()), 0});
            fifo.pop_front();
        }
        queue.pop_front();
    }
    changed_.notify_all();
}

// --- the port the model reports through ------------------------------------------------------

bool EmulatedUsbDevice::SendInterrupt(BYTE endpointAddress, std::span<const BYTE> report) {
    std::lock_guard lock(mutex_);
    if (gone_) {
        return false;
    }
    fifo_[endpointAddress].emplace_back(report.begin(), report.end());
    ServiceLocked(endpointAddress);
    return true;
}

void EmulatedUsbDevice::Stall(BYTE endpointAddress) {
    std::lock_guard lock(mutex_);
    halted_.insert(endpointAddress);
    ServiceLocked(endpointAddress);
}

void EmulatedUsbDevice::SetResponding(bool responding) {
    std::lock_guard lock(mutex_);
    responding_ = responding;
}

bool EmulatedUsbDevice::RefillDueLocked() const {
    for (const auto& [endpoint, ring] : ring_) {
        if (queued_.at(endpoint).size() < ring) {
            return true;  // a report is on its way to the host, or a halt waits to be cleared
        }
    }
    return false;
}

bool EmulatedUsbDevice::IdleLocked() const {
    return done_.empty() && !RefillDueLocked() &&
           std::ranges::all_of(fifo_, [](const auto& fifo) { return fifo.second.empty(); });
}

bool EmulatedUsbDevice::WaitIdle(DWORD platformTimeoutMs) {
    {
        std::unique_lock lock(mutex_);
        const bool idle = changed_.wait_for(lock, ce::host::ToRealDuration(platformTimeoutMs),
                                            [this] { return gone_ || IdleLocked(); });
        if (!idle || gone_) {
            return false;
        }
    }
    return !hostIdle || hostIdle(platformTimeoutMs);
}

std::size_t EmulatedUsbDevice::QueuedTransfers(BYTE endpointAddress) const {
    std::lock_guard lock(mutex_);
    const auto it = queued_.find(endpointAddress);
    return it != queued_.end() ? it->second.size() : 0;
}

std::size_t EmulatedUsbDevice::PendingReports(BYTE endpointAddress) const {
    std::lock_guard lock(mutex_);
    const auto it = fifo_.find(endpointAddress);
    return it != fifo_.end() ? it->second.size() : 0;
}

bool EmulatedUsbDevice::IsPipeOpen(BYTE endpointAddress) const {
    return QueuedTransfers(endpointAddress) > 0;
}

// --- the test bed ----------------------------------------------------------------------------

UsbfsTestbed::UsbfsTestbed() : testbed_(umockdev_testbed_new()) {}

UsbfsTestbed::~UsbfsTestbed() {
    devices_.clear();
    g_object_unref(testbed_);
}

EmulatedUsbDevice& UsbfsTestbed::Plug(std::shared_ptr<ce::host::UsbDeviceModel> model,
                                      InterfaceHolder holder) {
    devices_.push_back(std::make_unique<EmulatedUsbDevice>(testbed_, nextAddress_++,
                                                           std::move(model), std::move(holder)));
    return *devices_.back();
}

}  // namespace ots::test
