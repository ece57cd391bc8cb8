#include "window_station.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "ui_core.h"
#include "window_table.h"

namespace ce::ui {
namespace {

namespace fs = std::filesystem;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::uintptr_t HandleValue(HWND hWnd) {
    return reinterpret_cast<std::uintptr_t>(hWnd);
}

HWND HandleFromValue(std::uintptr_t value) {
    return reinterpret_cast<HWND>(value);
}

std::string HandleName(HWND hWnd) {
    char text[32];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(HandleValue(hWnd)));
    return text;
}

std::string SocketOf(pid_t pid) {
    return WindowFolder() + "/" + std::to_string(pid) + ".sock";
}

bool ProcessAlive(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// The files of processes that ended without withdrawing them (killed, crashed): their
// sockets, their windows and half-written files.
void SweepStaleFiles() {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(WindowFolder(), error)) {
        fs::path file = entry.path();
        const bool socket = file.extension() == ".sock";
        if (file.extension() == ".tmp") {
            file.replace_extension();  // a window's file, half written
        }
        const std::string stem = file.stem().string();
        pid_t owner = 0;
        if (socket) {
            owner = static_cast<pid_t>(std::strtol(stem.c_str(), nullptr, 10));
        } else if (file.extension() == ".win") {
            owner = ProcessOfHandle(HandleFromValue(
                static_cast<std::uintptr_t>(std::strtoull(stem.c_str(), nullptr, 16))));
        } else {
            continue;
        }
        if (!ProcessAlive(owner)) {
            std::error_code ignored;
            fs::remove(entry.path(), ignored);
        }
    }
}

void WriteAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << text;
    }
    std::error_code ignored;
    fs::rename(temporary, path, ignored);
}

// The listening side: one socket and thread per process.
class Listener {
  public:
    ~Listener() { Stop(); }

    void Start() {
        std::lock_guard lock(mutex_);
        if (fd_ >= 0) {
            return;
        }
        std::error_code ignored;
        fs::create_directories(WindowFolder(), ignored);
        ::chmod(WindowFolder().c_str(), 0700);
        SweepStaleFiles();
        path_ = SocketOf(::getpid());
        ::unlink(path_.c_str());
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            if (fd_ >= 0) {
                ::close(fd_);
            }
            fd_ = -1;
            return;
        }
        running_ = true;
        thread_ = std::thread([this] { Serve(); });
    }

    void Stop() {
        std::thread thread;
        {
            std::lock_guard lock(mutex_);
            if (fd_ < 0) {
                return;
            }
            running_ = false;
            thread = std::move(thread_);
        }
        if (thread.joinable()) {
            thread.join();
        }
        std::lock_guard lock(mutex_);
        ::close(fd_);
        fd_ = -1;
        ::unlink(path_.c_str());
    }

  private:
    void Serve() {
        while (running_) {
            pollfd waiting{fd_, POLLIN, 0};
            if (::poll(&waiting, 1, 100) <= 0) {
                continue;
            }
            char buffer[256];
            const ssize_t size = ::recv(fd_, buffer, sizeof buffer - 1, 0);
            if (size > 0) {
                buffer[size] = '\0';
                std::string request(buffer);
                QueueOnInterface([request] { ServeRequest(request); });
            }
        }
    }

    static void ServeRequest(const std::string& request) {
        std::istringstream in(request);
        std::string verb;
        unsigned long long handle = 0;
        in >> verb >> std::hex >> handle >> std::dec;
        const HWND hwnd = HandleFromValue(static_cast<std::uintptr_t>(handle));
        if (verb == "show") {
            int command = 0;
            in >> command;
            ShowLocalWindow(hwnd, command);
        } else if (verb == "front") {
            BringLocalWindowToFront(hwnd);
        } else if (verb == "post") {
            unsigned long long message = 0, wParam = 0;
            long long lParam = 0;
            in >> message >> wParam >> lParam;
            PostLocal(hwnd, static_cast<UINT>(message), static_cast<WPARAM>(wParam),
                      static_cast<LPARAM>(lParam));
        }
    }

    std::mutex mutex_;
    int fd_ = -1;
    std::atomic<bool> running_{false};
    std::thread thread_;
    std::string path_;
};

Listener& TheListener() {
    static Listener listener;
    return listener;
}

bool Send(pid_t pid, const std::string& request) {
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, SocketOf(pid).c_str(), sizeof address.sun_path - 1);
    const ssize_t sent = ::sendto(fd, request.data(), request.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::close(fd);
    return sent == static_cast<ssize_t>(request.size());
}

bool SendPost(pid_t pid, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return Send(pid, "post " + HandleName(hWnd) + " " + std::to_string(message) + " " +
                         std::to_string(wParam) + " " + std::to_string(lParam));
}

std::string Narrow(const std::wstring& text) {
    return QString::fromStdWString(text).toStdString();
}

std::wstring Wide(const std::string& text) {
    return QString::fromStdString(text).toStdWString();
}

bool ReadPublished(const fs::path& file, PublishedWindow* out) {
    std::ifstream in(file);
    std::string handle, className, title, visible;
    if (!std::getline(in, handle) || !std::getline(in, className) || !std::getline(in, title) ||
        !std::getline(in, visible)) {
        return false;
    }
    out->hwnd = HandleFromValue(static_cast<std::uintptr_t>(std::stoull(handle, nullptr, 16)));
    out->className = Wide(className);
    out->title = Wide(title);
    out->visible = visible == "1";
    return true;
}

}  // namespace

std::string WindowFolder() {
    if (std::string folder = Environment("OTS_WINDOW_DIR"); !folder.empty()) {
        return folder;
    }
    if (const std::string runtime = Environment("XDG_RUNTIME_DIR"); !runtime.empty()) {
        return runtime + "/ots/windows";
    }
    return "/tmp/ots-" + std::to_string(::getuid()) + "/windows";
}

void PublishWindow(const PublishedWindow& window) {
    TheListener().Start();
    std::ostringstream text;
    text << HandleName(window.hwnd) << '\n'
         << Narrow(window.className) << '\n'
         << Narrow(window.title) << '\n'
         << (window.visible ? 1 : 0) << '\n';
    WriteAtomically(WindowFolder() + "/" + HandleName(window.hwnd) + ".win", text.str());
}

void WithdrawWindow(HWND hWnd) {
    std::error_code ignored;
    fs::remove(WindowFolder() + "/" + HandleName(hWnd) + ".win", ignored);
}

void PublishForeground(HWND hWnd) {
    std::error_code ignored;
    fs::create_directories(WindowFolder(), ignored);
    WriteAtomically(WindowFolder() + "/foreground", HandleName(hWnd) + "\n");
}

HWND PublishedForeground() {
    std::ifstream in(WindowFolder() + "/foreground");
    std::string handle;
    if (!std::getline(in, handle) || handle.empty()) {
        return nullptr;
    }
    return HandleFromValue(static_cast<std::uintptr_t>(std::stoull(handle, nullptr, 16)));
}

std::vector<PublishedWindow> PublishedWindows() {
    std::vector<PublishedWindow> windows;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(WindowFolder(), error)) {
        if (entry.path().extension() != ".win") {
            continue;
        }
        PublishedWindow window;
        if (!ReadPublished(entry.path(), &window) || IsLocalHandle(window.hwnd)) {
            continue;
        }
        if (!ProcessAlive(ProcessOfHandle(window.hwnd))) {
            std::error_code ignored;
            fs::remove(entry.path(), ignored);  // left behind by a process that died
            continue;
        }
        windows.push_back(window);
    }
    return windows;
}

bool FindPublished(HWND hWnd, PublishedWindow* out) {
    const fs::path file = WindowFolder() + "/" + HandleName(hWnd) + ".win";
    return ProcessAlive(ProcessOfHandle(hWnd)) && ReadPublished(file, out);
}

bool RequestShow(HWND hWnd, int nCmdShow) {
    return Send(ProcessOfHandle(hWnd), "show " + HandleName(hWnd) + " " + std::to_string(nCmdShow));
}

bool RequestForeground(HWND hWnd) {
    return Send(ProcessOfHandle(hWnd), "front " + HandleName(hWnd));
}

bool RequestPost(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendPost(ProcessOfHandle(hWnd), hWnd, message, wParam, lParam);
}

void RequestBroadcast(UINT message, WPARAM wParam, LPARAM lParam) {
    std::vector<pid_t> reached;
    for (const PublishedWindow& window : PublishedWindows()) {
        const pid_t pid = ProcessOfHandle(window.hwnd);
        if (std::find(reached.begin(), reached.end(), pid) == reached.end()) {
            reached.push_back(pid);
            SendPost(pid, HWND_BROADCAST, message, wParam, lParam);
        }
    }
}

void CloseStation() {
    TheListener().Stop();
    for (HWND hwnd : TopLevelHandles()) {
        WithdrawWindow(hwnd);
    }
}

}  // namespace ce::ui
