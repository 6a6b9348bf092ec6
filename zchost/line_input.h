// Lines typed at zchost: the forms of its read-evaluate loop and the answers
// of the get functions. At a terminal, when built with libedit: line
// editing, a history kept in the user's folder, and completion of names.
// Elsewhere lines are read as they come (a Windows console edits them
// itself).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zchost {

class LineInput {
 public:
  enum class Result {
    kLine,
    kEnd,          // the end of the input (Ctrl-D at a terminal)
    kInterrupted,  // Ctrl-C: the line being typed is dropped
    kFailed,       // a read error, in error()
  };
  // `editing`: lines are typed at a terminal, and may be edited there.
  explicit LineInput(bool editing);
  ~LineInput();
  LineInput(const LineInput&) = delete;
  LineInput& operator=(const LineInput&) = delete;

  // Shows `prompt` (UTF-8) and reads a line into *line, its '\n' kept.
  Result read(std::string_view prompt, std::string* line);
  int error() const { return error_; }
  // After kInterrupted: whether the dropped line held any text.
  bool droppedText() const { return droppedText_; }
  // Adds a line typed at the prompt to the history (kept when editing).
  void remember(std::string_view line);
  // The names Tab completes: the defined functions and symbols.
  void setNames(std::function<std::vector<std::string>()> names);
  // Whether lines are edited here (libedit at a terminal).
  bool editing() const { return editor_ != nullptr; }

 private:
  struct Editor;
  std::unique_ptr<Editor> editor_;
  int error_ = 0;
  bool droppedText_ = false;
};

// Makes Ctrl-C cancel what runs (lisp::requestCancel) instead of ending the
// program, for the rest of the run. Call on the thread that reads input.
void cancelOnInterrupt();

}  // namespace zchost
