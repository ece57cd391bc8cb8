#include "support/host_process.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "support/scaled_clock.h"

extern char** environ;

namespace ots::test {
namespace {

constexpr std::chrono::seconds kProcessTimeout{60};

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers(strings.size() + 1, nullptr);
    std::ranges::transform(strings, pointers.begin(), [](std::string& s) { return s.data(); });
    return pointers;
}

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

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ots-test-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

pid_t Spawn(const std::vector<std::string>& argv, const std::string& outFile,
            const std::string& errFile, const std::vector<std::string>& extraEnv) {
    std::vector<std::string> args = argv;
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable(*entry);
        const std::string name = variable.substr(0, variable.find('=') + 1);
        if (std::ranges::none_of(extraEnv, [&](const auto& e) { return e.starts_with(name); })) {
            env.push_back(variable);
        }
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    const std::vector<char*> argp = Pointers(args);
    const std::vector<char*> envp = Pointers(env);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ExecChild(parent, outFile.empty() ? "/dev/null" : outFile.c_str(),
                  errFile.empty() ? "/dev/null" : errFile.c_str(), argp.data(), envp.data());
    }
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    if (!WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) != 0; }, kProcessTimeout)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const TempDir& scratch,
                         const std::vector<std::string>& extraEnv) {
    static std::atomic<int> runs{0};
    const std::string stem = scratch.File("run" + std::to_string(++runs));
    const pid_t pid = Spawn(argv, stem + ".out", stem + ".err", extraEnv);
    // Braces run left to right: the program has ended before its output is read.
    return {pid > 0 ? WaitExit(pid) : -1, ReadFile(stem + ".out"), ReadFile(stem + ".err")};
}

HostProcess::HostProcess(const TempDir& dir, std::vector<std::string> extraArgs) : dir_(dir) {
    std::vector<std::string> argv = {OTS_CEHOST, "--state",      stateDir(),       "--socket",
                                     socket(),   "--config",     OTS_PLATFORM_REG, "--log",
                                     logFile(),  "--trace-file", traceFile(),      "--time-scale",
                                     "0.01"};
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    pid_ = Spawn(argv, dir_.File("host.out"), dir_.File("host.err"));
}

bool HostProcess::WaitReady() {
    return WaitUntil(
               [&] {
                   int status = 0;
                   if (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == pid_) {
                       pid_ = -1;  // it ended without serving
                   }
                   return pid_ <= 0 || Cectl({"list"}).exitCode == 0;  // once it serves
               },
               kProcessTimeout) &&
           pid_ > 0;
}

int HostProcess::Stop(int signal) {
    if (pid_ <= 0) {
        return -1;
    }
    if (signal != 0) {
        ::kill(pid_, signal);
    }
    return WaitExit(std::exchange(pid_, -1));
}

ProgramResult HostProcess::Cectl(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {OTS_CECTL, "--socket", socket()};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, dir_);
}

}  // namespace ots::test
