#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <thread>

#include "ProcessList.h"

extern char** environ;

namespace vexalo {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr auto kDestructorGrace = std::chrono::seconds(10);
constexpr auto kGroupEndLimit = std::chrono::seconds(5);

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int Get() const { return fd_; }

 private:
  int fd_;
};

// Runs in the forked child: only async-signal-safe calls until exec.
[[noreturn]] void BecomeProgram(char* const* argv, int input, int output, pid_t starter) {
  ::setpgid(0, 0);
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  // The starter may have ended before the line above took effect.
  if (::getppid() != starter) ::_exit(126);
  // Blocked or ignored signals would survive exec and keep the program from
  // being stopped.
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int number = 1; number < NSIG; ++number) ::signal(number, SIG_DFL);
  if (::dup2(input, STDIN_FILENO) < 0 || ::dup2(output, STDOUT_FILENO) < 0 ||
      ::dup2(output, STDERR_FILENO) < 0) {
    ::_exit(126);
  }
  ::close_range(3, ~0U, 0);
  ::execve(argv[0], argv, environ);
  ::_exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::filesystem::path& outputFile) {
  if (argv.empty() || !std::filesystem::path(argv.front()).is_absolute()) {
    throw std::invalid_argument("ChildProcess needs an absolute program path");
  }
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  const Descriptor input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (input.Get() < 0) ThrowErrno("open /dev/null");
  const Descriptor output(
      ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (output.Get() < 0) ThrowErrno("open child output file");

  const pid_t starter = ::getpid();
  pid_ = ::fork();
  if (pid_ < 0) ThrowErrno("fork");
  if (pid_ == 0) BecomeProgram(args.data(), input.Get(), output.Get(), starter);
  // Also set here, so the group exists whichever of the two runs first.
  ::setpgid(pid_, pid_);
}

ChildProcess::~ChildProcess() { Stop(kDestructorGrace); }

bool ChildProcess::Running() const {
  if (reaped_) return false;
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) < 0) {
    return false;
  }
  return info.si_pid == 0;
}

void ChildProcess::Stop(std::chrono::milliseconds grace) {
  if (reaped_) return;
  if (Running() && grace.count() > 0) {
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (Running() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(kPollInterval);
    }
  }
  if (Running()) {
    ::kill(pid_, SIGKILL);
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) < 0 &&
           errno == EINTR) {
    }
  }
  // The ended leader is not reaped yet, so its id cannot have been reused
  // and the signal reaches only what it left behind.
  ::kill(-pid_, SIGKILL);
  WaitForGroupToEnd(kGroupEndLimit);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  reaped_ = true;
}

void ChildProcess::WaitForGroupToEnd(std::chrono::milliseconds limit) const {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  const auto stillRunning = [this](const ProcessEntry& entry) {
    return entry.group == pid_ && entry.pid != pid_ && !entry.zombie;
  };
  while (std::chrono::steady_clock::now() < deadline) {
    const auto processes = ListProcesses();
    if (std::none_of(processes.begin(), processes.end(), stillRunning)) return;
    std::this_thread::sleep_for(kPollInterval);
  }
}

}  // namespace vexalo
