// Running a command as a child process, for end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace test {

struct ProcessResult {
  std::string out;
  std::string err;
  int status = -1;  // the exit status; -1 when killed by a signal
};

// Runs `argv` in the current directory with `input` on its standard input.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = "");

// The built zchost program.
std::string zchostPath();

// Runs the built zchost with `args`.
ProcessResult runZchost(const std::vector<std::string>& args, const std::string& input = "");

}  // namespace test

namespace test {

// A child process started without waiting for it.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();
  // Kills the child at once (SIGKILL, TerminateProcess) and reaps it.
  void kill();
  // Waits for the child; its exit status, -1 when it was killed.
  int wait();

 private:
  long long id_ = -1;
  bool done_ = false;
  int status_ = -1;
};

}  // namespace test
