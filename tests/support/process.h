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

// A built program (zchost, slb), by its name.
std::string programPath(const std::string& name);
inline std::string zchostPath() {
  return programPath("zchost");
}

// Runs a built program with `args`.
inline ProcessResult runProgram(const std::string& name, const std::vector<std::string>& args,
                                const std::string& input = "") {
  std::vector<std::string> argv = {programPath(name)};
  argv.insert(argv.end(), args.begin(), args.end());
  return runProcess(argv, input);
}
inline ProcessResult runZchost(const std::vector<std::string>& args,
                               const std::string& input = "") {
  return runProgram("zchost", args, input);
}

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
