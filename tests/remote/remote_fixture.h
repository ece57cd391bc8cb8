// One device host for a whole test suite, in a child process, with a coordinate controller
// plugged in; the test program is its client, with OTS_DEVMGR_SOCKET naming the host's socket.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ce/stream.h"
#include "host_process.h"

namespace remote_test {

using Bytes = std::vector<BYTE>;

// The simulated coordinate controller's identity: vendor 0x5A17, product 0x0101, 0x0100.
inline const Bytes kCoordinateDeviceId = {0x17, 0x5A, 0x01, 0x01, 0x00, 0x01};

class RemoteHostTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    static HostProcess& Host() { return *host_; }
    static const TempDir& Dir() { return *dir_; }

  private:
    static std::unique_ptr<TempDir> dir_;
    static std::unique_ptr<HostProcess> host_;
    static bool ready_;
};

HANDLE OpenDevice(const wchar_t* name = L"OTS1:");

// Closes a stream handle at the end of a scope.
class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    BOOL Close() {
        const BOOL closed = ok() ? CloseHandle(handle_) : FALSE;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE handle_;
};

// DeviceIoControl with vectors as buffers (empty: a null pointer of length 0).
BOOL Io(HANDLE handle, DWORD code, Bytes* in, Bytes* out, LPDWORD returned = nullptr);

}  // namespace remote_test
