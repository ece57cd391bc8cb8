#include "integration_support.h"

#include <dlfcn.h>

#include "ce/host/clock.h"
#include "ce/host/devmgr_host.h"
#include "ce/host/registry_store.h"
#include "ce/usbd.h"
#include "protocol/control_codes.h"

namespace it {

DriverInstall::DriverInstall() {
    const std::string path = ce::host::ResolveDriverLibrary("libotsusb.so");
    library_ = dlopen(path.c_str(), RTLD_NOW);
    if (library_ == nullptr) {
        ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
        return;
    }
    auto install = reinterpret_cast<LPUSB_INSTALL_DRIVER>(dlsym(library_, "USBInstallDriver"));
    installed_ = install != nullptr && install(L"libotsusb.so");
}

DriverInstall::~DriverInstall() {
    if (installed_) {
        Uninstall();
    }
    if (library_ != nullptr) {
        dlclose(library_);  // the USB stack keeps its own reference
    }
}

BOOL DriverInstall::Uninstall() {
    auto uninstall =
        reinterpret_cast<LPUSB_UNINSTALL_DRIVER>(dlsym(library_, "USBUnInstallDriver"));
    installed_ = false;
    return uninstall != nullptr ? uninstall() : FALSE;
}

// Forwards everything to the controller and remembers the port it was given.
class PluggedController::PortTap : public ce::host::UsbDeviceModel {
  public:
    explicit PortTap(std::shared_ptr<CoordinateController> inner) : inner_(std::move(inner)) {}

    USB_DEVICE_DESCRIPTOR DeviceDescriptor() const override { return inner_->DeviceDescriptor(); }
    std::vector<ce::host::UsbInterfaceModel> Interfaces() const override {
        return inner_->Interfaces();
    }
    ce::host::ControlResult Control(const USB_DEVICE_REQUEST& setup,
                                    std::span<BYTE> data) override {
        return inner_->Control(setup, data);
    }
    ce::host::ControlResult DataOut(BYTE endpointAddress, std::span<const BYTE> data) override {
        return inner_->DataOut(endpointAddress, data);
    }
    void Connected(ce::host::UsbPort* port) override {
        port_ = port;
        inner_->Connected(port);
    }
    void Disconnected() override {
        inner_->Disconnected();
        port_ = nullptr;
    }

    std::atomic<ce::host::UsbPort*> port_{nullptr};

  private:
    std::shared_ptr<CoordinateController> inner_;
};

PluggedController::PluggedController(CoordinateControllerOptions options)
    : controller_(std::make_shared<CoordinateController>(options)),
      tap_(std::make_shared<PortTap>(controller_)) {
    id_ = ce::host::PlugUsbDevice(tap_);
}

PluggedController::~PluggedController() {
    Unplug();
}

ce::host::UsbPort* PluggedController::port() const {
    return tap_->port_.load();
}

std::size_t PluggedController::QueuedReportTransfers(std::size_t expected) {
    ce::host::UsbPort* usbPort = port();
    if (usbPort == nullptr) {
        return 0;
    }
    // The reader starts its transfers after attach has returned.
    const double deadline = ce::host::PlatformNowMs() + kSettleMs;
    while (usbPort->QueuedTransfers(CoordinateController::kInEndpoint) < expected &&
           ce::host::PlatformNowMs() < deadline) {
        Sleep(1);
    }
    usbPort->WaitIdle(kSettleMs);
    return usbPort->QueuedTransfers(CoordinateController::kInEndpoint);
}

void PluggedController::Unplug() {
    if (id_ != ce::host::kNoUsbDevice) {
        ce::host::UnplugUsbDevice(id_);
        id_ = ce::host::kNoUsbDevice;
    }
}

StreamHandle::StreamHandle(const wchar_t* name)
    : handle_(
          CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {
    if (handle_ == INVALID_HANDLE_VALUE) {
        error_ = GetLastError();
    }
}

StreamHandle::~StreamHandle() {
    Close();
}

void StreamHandle::Close() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
}

BOOL StreamHandle::Io(DWORD code, Bytes* in, Bytes* out) {
    return DeviceIoControl(handle_, code, in != nullptr ? in->data() : nullptr,
                           in != nullptr ? static_cast<DWORD>(in->size()) : 0,
                           out != nullptr ? out->data() : nullptr,
                           out != nullptr ? static_cast<DWORD>(out->size()) : 0, nullptr, nullptr);
}

Bytes StreamHandle::Get(DWORD code, std::size_t size) {
    Bytes out(size, 0xEE);
    EXPECT_TRUE(Io(code, nullptr, &out));
    return out;
}

BOOL StreamHandle::Set(DWORD code, const Bytes& record) {
    Bytes in = record;
    return Io(code, &in, nullptr);
}

Bytes GetRecord(DWORD code, std::size_t size, const wchar_t* name) {
    StreamHandle handle(name);
    EXPECT_TRUE(handle.ok()) << "open failed with " << handle.error();
    return handle.ok() ? handle.Get(code, size) : Bytes{};
}

bool SetRecord(DWORD code, const Bytes& record, const wchar_t* name) {
    StreamHandle handle(name);
    EXPECT_TRUE(handle.ok()) << "open failed with " << handle.error();
    return handle.ok() && handle.Set(code, record);
}

void IntegrationTest::SetUp() {
    ce::host::ResetRegistry();
    const auto error = ce::host::ImportRegFile(OTS_PLATFORM_REG);
    ASSERT_FALSE(error.has_value()) << error->ToString();
    install_ = std::make_unique<DriverInstall>();
    ASSERT_TRUE(install_->installed());
}

void IntegrationTest::TearDown() {
    install_.reset();
}

void IntegrationTest::SetDriverConfigByte(std::size_t offset, BYTE value) {
    Bytes config = GetRecord(IOCTL_GET_DRIVER_CONFIG, 58);
    ASSERT_EQ(config.size(), 58u);
    config[offset] = value;
    ASSERT_TRUE(SetRecord(IOCTL_SET_DRIVER_CONFIG, config));
}

}  // namespace it
