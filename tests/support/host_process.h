// Programs the suites start: a device host (cehost) in a child process with its own state
// folder and socket, and cectl runs. Children get the test's environment; their output goes to
// files in the test's temporary folder.
#pragma once

#include <sys/types.h>

#include <csignal>

#include <string>
#include <vector>

namespace ots::test {

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);

struct ProgramResult {
    int exitCode = -1;  // -1: did not end normally within a minute
    std::string out;
    std::string err;
};

// Starts a program with stdout and stderr going to the given files (empty: /dev/null) and the
// test's environment, where extraEnv ("NAME=value") adds or replaces variables. Should the test
// program die first, the child gets SIGTERM.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& outFile,
            const std::string& errFile, const std::vector<std::string>& extraEnv = {});
// Waits up to a minute for a child to end, then kills it; its exit code, or -1.
int WaitExit(pid_t pid);
// Runs a program to its end and collects its output.
ProgramResult RunProgram(const std::vector<std::string>& argv, const TempDir& scratch,
                         const std::vector<std::string>& extraEnv = {});

// A cehost in a child process: state folder, socket, log, trace and stderr in its folder,
// --time-scale 0.01. Stopped with SIGTERM when it goes out of scope.
class HostProcess {
  public:
    explicit HostProcess(const TempDir& dir, std::vector<std::string> extraArgs = {});
    ~HostProcess() { Stop(SIGTERM); }
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;
    // Until the host answers a control request; false when it ended or timed out.
    bool WaitReady();
    // Sends the signal (0: none, the host ends by itself) and waits for the exit code.
    int Stop(int signal);
    pid_t pid() const { return pid_; }
    std::string socket() const { return dir_.File("devmgr.sock"); }
    std::string stateDir() const { return dir_.File("state"); }
    std::string registryFile() const { return stateDir() + "/registry.reg"; }
    std::string logFile() const { return dir_.File("host.log"); }
    std::string traceFile() const { return dir_.File("trace.jsonl"); }
    std::string errText() const { return ReadFile(dir_.File("host.err")); }
    ProgramResult Cectl(const std::vector<std::string>& args) const;

  private:
    const TempDir& dir_;
    pid_t pid_ = -1;
};

}  // namespace ots::test
