#include "host_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "ce/host/stream_wire.h"
#include "cectl/control_request.h"

extern char** environ;

namespace remote_test {
namespace {

namespace fs = std::filesystem;
namespace wire = ce::host::wire;

using Clock = std::chrono::steady_clock;
constexpr auto kPoll = std::chrono::milliseconds(10);

std::vector<std::string> Environment(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable(*entry);
        const std::string name = variable.substr(0, variable.find('='));
        const bool replaced = std::ranges::any_of(
            extra, [&](const std::string& e) { return e.substr(0, e.find('=')) == name; });
        if (!replaced) {
            env.push_back(variable);
        }
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Asks for the list once the host serves: the reply comes only after it started serving.
bool AnswersControlRequest(const std::string& socket) {
    wire::FrameSocket connection = wire::FrameSocket::Connect(socket);
    if (!connection.valid()) {
        return false;
    }
    ots::control::Command list;
    list.verb = ots::control::Verb::List;
    if (!connection.Send(wire::kControlRequest, 1, ots::control::EncodeCommand(list))) {
        return false;
    }
    wire::Frame reply;
    return connection.Receive(reply) == wire::ReceiveResult::Received &&
           reply.type == wire::kControlReply;
}

std::string FirstLineOf(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

}  // namespace

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "ots-remote-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

bool FileExists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

namespace {

// Between fork and exec only system calls: the test program has threads.
[[noreturn]] void ExecChild(pid_t parent, const char* outFile, const char* errFile,
                            char* const* argv, char* const* envp) {
    // A test program that dies must not leave its host running.
    if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent) {
        ::_exit(127);
    }
    const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC;
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = ::open(outFile, flags, 0600);
    const int err = ::open(errFile, flags, 0600);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, STDIN_FILENO) < 0 ||
        ::dup2(out, STDOUT_FILENO) < 0 || ::dup2(err, STDERR_FILENO) < 0) {
        ::_exit(127);
    }
    ::execve(argv[0], argv, envp);
    ::_exit(127);
}

}  // namespace

pid_t Spawn(const std::vector<std::string>& argv, const std::string& outFile,
            const std::string& errFile, const std::vector<std::string>& extraEnv) {
    std::vector<std::string> args = argv;
    std::vector<std::string> env = Environment(extraEnv);
    const std::vector<char*> argp = Pointers(args);
    const std::vector<char*> envp = Pointers(env);
    const char* out = outFile.empty() ? "/dev/null" : outFile.c_str();
    const char* err = errFile.empty() ? "/dev/null" : errFile.c_str();
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ExecChild(parent, out, err, argp.data(), envp.data());
    }
    return pid;
}

int WaitExit(pid_t pid) {
    const auto deadline = Clock::now() + kProcessTimeout;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(kPoll);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const TempDir& scratch,
                         const std::vector<std::string>& extraEnv) {
    static std::atomic<int> runs{0};
    const std::string stem = scratch.File("run" + std::to_string(++runs));
    const pid_t pid = Spawn(argv, stem + ".out", stem + ".err", extraEnv);
    ProgramResult result;
    if (pid > 0) {
        result.exitCode = WaitExit(pid);
    }
    result.out = ReadFile(stem + ".out");
    result.err = ReadFile(stem + ".err");
    return result;
}

ProgramResult RunCectl(const std::string& socket, const std::vector<std::string>& args,
                       const TempDir& scratch) {
    std::vector<std::string> argv = {OTS_CECTL, "--socket", socket};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, scratch);
}

HostProcess::HostProcess(const TempDir& dir, std::vector<std::string> extraArgs) : dir_(dir) {
    std::vector<std::string> argv = {OTS_CEHOST, "--state",      stateDir(),       "--socket",
                                     socket(),   "--config",     OTS_PLATFORM_REG, "--log",
                                     logFile(),  "--trace-file", traceFile(),      "--time-scale",
                                     "0.01"};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    pid_ = Spawn(argv, dir_.File("host.out"), dir_.File("host.err"));
}

HostProcess::~HostProcess() {
    if (pid_ > 0) {
        Stop(SIGTERM);
    }
}

bool HostProcess::WaitReady() {
    const auto deadline = Clock::now() + kProcessTimeout;
    while (pid_ > 0 && Clock::now() < deadline) {
        if (AnswersControlRequest(socket())) {
            return true;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;  // it ended without serving
            return false;
        }
        std::this_thread::sleep_for(kPoll);
    }
    return false;
}

int HostProcess::Stop(int signal) {
    if (pid_ <= 0) {
        return -1;
    }
    ::kill(pid_, signal);
    return WaitExit();
}

int HostProcess::WaitExit() {
    const int code = remote_test::WaitExit(pid_);
    pid_ = -1;
    return code;
}

ProgramResult HostProcess::Cectl(const std::vector<std::string>& args) const {
    return RunCectl(socket(), args, dir_);
}

std::string ProbeOpen(const TempDir& scratch, const std::string& socket, const std::string& name) {
    const ProgramResult result =
        RunProgram({OTS_STREAM_CLIENT, "probe", name}, scratch, {"OTS_DEVMGR_SOCKET=" + socket});
    return FirstLineOf(result.out);
}

StreamClientProcess::StreamClientProcess(const TempDir& dir, const std::string& socket,
                                         const std::string& name) {
    static std::atomic<int> clients{0};
    outFile_ = dir.File("client" + std::to_string(++clients) + ".out");
    pid_ = Spawn({OTS_STREAM_CLIENT, "hold", name}, outFile_, "", {"OTS_DEVMGR_SOCKET=" + socket});
}

StreamClientProcess::~StreamClientProcess() {
    Kill(SIGKILL);
}

std::string StreamClientProcess::FirstLine() {
    const auto deadline = Clock::now() + kProcessTimeout;
    while (Clock::now() < deadline) {
        const std::string text = ReadFile(outFile_);
        if (text.find('\n') != std::string::npos) {
            return FirstLineOf(text);
        }
        std::this_thread::sleep_for(kPoll);
    }
    return {};
}

void StreamClientProcess::Kill(int signal) {
    if (pid_ > 0) {
        ::kill(pid_, signal);
        remote_test::WaitExit(pid_);
        pid_ = -1;
    }
}

}  // namespace remote_test
