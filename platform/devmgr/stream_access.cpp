// The front end of stream device access: CreateFileW and DeviceIoControl on the device table;
// CloseHandle reaches the driver through the stream handle's OnClose. A name the table does not
// know goes to the device host's socket unless this process is the host (remote_stream.h).
#include <memory>
#include <optional>

#include "ce/host/kernel_object.h"
#include "ce/host/stream_server.h"
#include "ce/stream.h"
#include "device_table.h"
#include "remote_stream.h"

namespace ce::devmgr {
namespace {

// A handle CreateFileW returned: the device and the open context its driver gave.
class StreamHandle final : public ce::host::KernelObject {
  public:
    StreamHandle(std::shared_ptr<DeviceInstance> device, DWORD openContext)
        : device_(std::move(device)), openContext_(openContext) {}

    BOOL IoControl(DWORD code, LPVOID in, DWORD inLength, LPVOID out, DWORD outLength,
                   LPDWORD actualOut) {
        const std::optional<BOOL> result =
            device_->IoControl(openContext_, code, static_cast<PBYTE>(in), inLength,
                               static_cast<PBYTE>(out), outLength, actualOut);
        if (!result) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        return *result;
    }

    // A device that is gone has no open context left to close.
    BOOL OnClose() override { return device_->Close(openContext_).value_or(TRUE); }

  private:
    const std::shared_ptr<DeviceInstance> device_;
    const DWORD openContext_;
};

}  // namespace
}  // namespace ce::devmgr

extern "C" HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                              LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                              DWORD /*dwCreationDisposition*/, DWORD /*dwFlagsAndAttributes*/,
                              HANDLE /*hTemplateFile*/) {
    if (lpFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const auto device = ce::devmgr::DeviceTable::Get().Find(lpFileName);
    if (!device && !ce::devmgr::IsServing()) {
        // A client process: the device, if any, is the host's.
        return ce::devmgr::OpenRemote(ce::host::DevmgrSocketPath(), lpFileName, dwDesiredAccess,
                                      dwShareMode);
    }
    // A device deactivated between the lookup and the open counts as not found.
    const std::optional<DWORD> openContext =
        device ? device->Open(dwDesiredAccess, dwShareMode) : std::nullopt;
    if (!openContext) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (*openContext == 0) {
        return INVALID_HANDLE_VALUE;  // the driver refused and set the last error
    }
    return ce::host::InsertHandle(std::make_shared<ce::devmgr::StreamHandle>(device, *openContext));
}

extern "C" BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                                DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                                LPDWORD lpBytesReturned, LPOVERLAPPED /*lpOverlapped*/) {
    const auto stream = ce::host::LookupHandleAs<ce::devmgr::StreamHandle>(hDevice);
    if (!stream) {
        if (const std::optional<BOOL> remote =
                ce::devmgr::RemoteIoControl(hDevice, dwIoControlCode, lpInBuffer, nInBufferSize,
                                            lpOutBuffer, nOutBufferSize, lpBytesReturned)) {
            return *remote;
        }
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return stream->IoControl(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                             nOutBufferSize, lpBytesReturned);
}
