#include "durable_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace ce::registry {
namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // Closes now so that a failing close (a late write error) is seen.
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

std::string Failure(const std::string& step, const std::string& path) {
    // Appended piecewise: GCC 12 at -O2 misreads chained operator+ here (-Wrestrict).
    std::string text = step;
    text.append(" ").append(path).append(": ").append(std::strerror(errno));
    return text;
}

bool WriteAll(int fd, const std::string& contents) {
    std::size_t done = 0;
    while (done < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<std::string> WriteTemporary(const std::string& tmp, const std::string& contents) {
    FileDescriptor file(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (file.get() < 0) {
        return Failure("cannot create", tmp);
    }
    if (!WriteAll(file.get(), contents)) {
        return Failure("cannot write", tmp);
    }
    if (::fsync(file.get()) != 0) {
        return Failure("cannot flush", tmp);
    }
    if (file.Close() != 0) {
        return Failure("cannot close", tmp);
    }
    return std::nullopt;
}

// The rename is durable only once the folder's entry is on the disk.
std::optional<std::string> FlushFolderOf(const std::string& path) {
    std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (parent.empty()) {
        parent = std::filesystem::path(".");
    }
    const std::string folder = parent.string();
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0 || ::fsync(dir.get()) != 0) {
        return Failure("cannot flush the folder", folder);
    }
    return std::nullopt;
}

}  // namespace

int ReadWholeFile(const std::string& path, std::string& contents) {
    contents.clear();
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        return errno;
    }
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return errno;
        }
        if (n == 0) {
            return 0;
        }
        contents.append(buffer, static_cast<std::size_t>(n));
    }
}

std::optional<std::string> ReplaceFileDurably(const std::string& path,
                                              const std::string& contents) {
    const std::string tmp = path + ".tmp";
    if (auto failure = WriteTemporary(tmp, contents)) {
        ::unlink(tmp.c_str());
        return failure;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        std::string failure =
            Failure(std::string("cannot rename ").append(tmp).append(" to"), path);
        ::unlink(tmp.c_str());
        return failure;
    }
    return FlushFolderOf(path);
}

}  // namespace ce::registry
