#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "support/process.h"
#include "support/test_support.h"

namespace test {

ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input) {
  int in[2], out[2], err[2];
  if (::pipe(in) || ::pipe(out) || ::pipe(err)) return {};
  ::signal(SIGPIPE, SIG_IGN);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  size_t written = 0;
  if (input.empty()) ::close(in[1]);
  ProcessResult result;
  bool inputOpen = !input.empty(), outOpen = true, errOpen = true;
  while (outOpen || errOpen) {
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
    if (!outOpen) fds[0].fd = -1;
    if (!errOpen) fds[1].fd = -1;
    if (!inputOpen) fds[2].fd = -1;
    if (::poll(fds, 3, -1) < 0 && errno != EINTR) break;
    char buffer[65536];
    if (fds[0].revents) {
      ssize_t n = ::read(out[0], buffer, sizeof buffer);
      if (n > 0)
        result.out.append(buffer, static_cast<size_t>(n));
      else
        outOpen = false;
    }
    if (fds[1].revents) {
      ssize_t n = ::read(err[0], buffer, sizeof buffer);
      if (n > 0)
        result.err.append(buffer, static_cast<size_t>(n));
      else
        errOpen = false;
    }
    if (inputOpen && fds[2].revents) {
      ssize_t n = ::write(in[1], input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<size_t>(n);
      if (n <= 0 || written == input.size()) {
        ::close(in[1]);
        inputOpen = false;
      }
    }
  }
  if (inputOpen) ::close(in[1]);
  ::close(out[0]);
  ::close(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string programPath(const std::string& name) {
  return binDir() + "/" + name;
}

}  // namespace test

#include <fcntl.h>

namespace test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  pid_t pid = ::fork();
  if (pid == 0) {
    int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  id_ = pid;
}

ChildProcess::~ChildProcess() {
  if (!done_) kill();
}

void ChildProcess::kill() {
  if (done_) return;
  ::kill(static_cast<pid_t>(id_), SIGKILL);
  wait();
}

int ChildProcess::wait() {
  if (done_) return status_;
  int status = 0;
  ::waitpid(static_cast<pid_t>(id_), &status, 0);
  done_ = true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return status_;
}

}  // namespace test
