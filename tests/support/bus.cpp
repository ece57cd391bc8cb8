#include "support/bus.h"

#include <dlfcn.h>

#include "ce/host/devmgr_host.h"
#include "ce/host/registry_store.h"
#include "ce/usbd.h"
#include "protocol/control_codes.h"

namespace ots::test {

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

void BusTap::Connected(ce::host::UsbPort* port) {
    port_ = port;
    if (silentFromStart) {
        port->SetResponding(false);
    }
    inner_->Connected(port);
}

PluggedController::PluggedController(CoordinateControllerOptions options)
    : controller_(std::make_shared<CoordinateController>(options)),
      tap_(std::make_shared<BusTap>(controller_)) {
    id_ = ce::host::PlugUsbDevice(tap_);
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
    Bytes in = record;
    return handle.ok() && handle.Io(code, &in, nullptr);
}

void IntegrationTest::SetUp() {
    ce::host::ResetRegistry();
    const auto error = ce::host::ImportRegFile(OTS_PLATFORM_REG);
    ASSERT_FALSE(error.has_value()) << error->ToString();
    install_ = std::make_unique<DriverInstall>();
    ASSERT_TRUE(install_->installed());
}

void IntegrationTest::SetDriverConfigByte(std::size_t offset, BYTE value) {
    Bytes config = GetRecord(IOCTL_GET_DRIVER_CONFIG, 58);
    ASSERT_EQ(config.size(), 58u);
    config[offset] = value;
    ASSERT_TRUE(SetRecord(IOCTL_SET_DRIVER_CONFIG, config));
}

}  // namespace ots::test
