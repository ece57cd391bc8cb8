#include "remote_fixture.h"

#include <cstdlib>

namespace remote_test {

std::unique_ptr<TempDir> RemoteHostTest::dir_;
std::unique_ptr<HostProcess> RemoteHostTest::host_;
bool RemoteHostTest::ready_ = false;

void RemoteHostTest::SetUpTestSuite() {
    dir_ = std::make_unique<TempDir>();
    host_ = std::make_unique<HostProcess>(*dir_, std::vector<std::string>{"--sink", "none"});
    ready_ = host_->WaitReady();
    if (ready_) {
        const ProgramResult plug = host_->Cectl({"plug", "coordinate"});
        ready_ = plug.exitCode == 0;
        if (!ready_) {
            ADD_FAILURE() << "plug failed: " << plug.err;
        }
    } else {
        ADD_FAILURE() << "cehost did not come up: " << host_->errText();
    }
}

void RemoteHostTest::TearDownTestSuite() {
    host_.reset();
    dir_.reset();
}

void RemoteHostTest::SetUp() {
    ASSERT_TRUE(ready_) << "no host";
    ::setenv("OTS_DEVMGR_SOCKET", host_->socket().c_str(), 1);
}

HANDLE OpenDevice(const wchar_t* name) {
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

BOOL Io(HANDLE handle, DWORD code, Bytes* in, Bytes* out, LPDWORD returned) {
    auto data = [](Bytes* bytes) { return bytes != nullptr ? bytes->data() : nullptr; };
    auto size = [](Bytes* bytes) {
        return bytes != nullptr ? static_cast<DWORD>(bytes->size()) : DWORD{0};
    };
    return DeviceIoControl(handle, code, data(in), size(in), data(out), size(out), returned,
                           nullptr);
}

}  // namespace remote_test
