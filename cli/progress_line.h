// A progress line for long runs on a terminal: frames done of the total,
// frames per second and the time left, redrawn in place on stderr. Silent
// when stderr is not a terminal, so logs and pipes get no control codes.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

class ProgressLine {
 public:
  explicit ProgressLine(std::size_t total);
  ~ProgressLine();  // ends the line, if one was drawn
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Counts one more frame done; safe from any thread.
  void FrameDone();
  // Writes `line` and a newline on stderr above the progress line, which is
  // redrawn after it; safe from any thread.
  void Message(const std::string& line);

 private:
  void Draw(bool final);

  std::size_t total_;
  std::size_t done_ = 0;
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_draw_;
  std::mutex mutex_;
};
