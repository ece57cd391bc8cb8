// CreateMutexW: a named mutex is a lock on a file of the user's window folder, held by the
// process that created it until its handle is closed or the process ends.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QString>
#include <filesystem>
#include <memory>
#include <string>

#include "ce/host/kernel_object.h"
#include "ce/ui/windows.h"
#include "window_station.h"

namespace {

class NamedMutex : public ce::host::KernelObject {
  public:
    explicit NamedMutex(int fd) : fd_(fd) {}
    ~NamedMutex() override { Release(); }
    BOOL OnClose() override {
        Release();
        return TRUE;
    }

  private:
    void Release() {
        if (fd_ >= 0) {
            ::close(fd_);  // drops the lock
            fd_ = -1;
        }
    }
    int fd_;
};

}  // namespace

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR lpName) {
    if (lpName == nullptr) {
        return ce::host::InsertHandle(std::make_shared<NamedMutex>(-1));
    }
    std::string name = QString::fromWCharArray(lpName).toStdString();
    for (char& c : name) {
        if (c == '/') {
            c = '_';
        }
    }
    const std::string folder = ce::ui::WindowFolder();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const std::string path = folder + "/" + name + ".mutex";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const bool exists = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (exists) {
        ::close(fd);  // another process holds it; this handle names it without holding it
    }
    HANDLE handle = ce::host::InsertHandle(std::make_shared<NamedMutex>(exists ? -1 : fd));
    SetLastError(exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}
