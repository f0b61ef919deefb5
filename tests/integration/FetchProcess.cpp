#include "FetchProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace vexalo {

std::vector<std::string> FetchCommand(const std::vector<std::string>& args) {
  std::vector<std::string> command{VEXALO_FETCH_PROGRAM};
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

std::vector<char*> ArgvPointers(std::vector<std::string>& text) {
  std::vector<char*> argv;
  for (std::string& arg : text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return argv;
}

ProgramResult RunFetch(const std::vector<std::string>& args, const std::string& input) {
  int inPipe[2], outPipe[2], errPipe[2];
  if (pipe2(inPipe, O_CLOEXEC) != 0 || pipe2(outPipe, O_CLOEXEC) != 0 ||
      pipe2(errPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe2 failed");
  }
  std::vector<std::string> argvText = FetchCommand(args);
  const std::vector<char*> argv = ArgvPointers(argvText);

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(inPipe[0], STDIN_FILENO);
    dup2(outPipe[1], STDOUT_FILENO);
    dup2(errPipe[1], STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(inPipe[0]);
  close(outPipe[1]);
  close(errPipe[1]);
  // Small enough for the pipe's buffer: written whole before reading.
  if (write(inPipe[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
    throw std::runtime_error("cannot feed standard input");
  }
  close(inPipe[1]);

  ProgramResult result;
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  int open = 2;
  while (open > 0 && std::chrono::steady_clock::now() < deadline) {
    if (poll(fds, 2, 100) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0 && sinks[i]->size() < kOutputCap) {
        sinks[i]->append(buffer, static_cast<size_t>(got));
      } else if (got <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
  if (open > 0) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  if (open == 0 && WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  return result;
}

}  // namespace vexalo
