#include "progress_line.h"

#include <unistd.h>

#include <cstdio>

ProgressLine::ProgressLine(std::size_t total)
    : total_(total),
      enabled_(::isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now()),
      last_draw_(start_) {}

ProgressLine::~ProgressLine() {
  if (drawn_) std::fputs("\n", stderr);
}

void ProgressLine::FrameDone() {
  std::lock_guard lock(mutex_);
  ++done_;
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  // A tenth of a second between redraws keeps the terminal cheap.
  if (done_ < total_ && now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  Draw(done_ == total_);
}

void ProgressLine::Message(const std::string& line) {
  std::lock_guard lock(mutex_);
  // Carriage return and erase to the end of the line (as each redraw does):
  // the message replaces the progress line, which is drawn again below it.
  if (drawn_) std::fputs("\r\033[K", stderr);
  std::fputs(line.c_str(), stderr);
  std::fputs("\n", stderr);
  if (drawn_) Draw(done_ == total_);
  std::fflush(stderr);
}

void ProgressLine::Draw(bool final) {
  const double seconds = std::chrono::duration<double>(last_draw_ - start_).count();
  const double rate = seconds > 0.0 ? static_cast<double>(done_) / seconds : 0.0;
  char line[128];
  if (final || rate <= 0.0) {
    std::snprintf(line, sizeof line, "\r\033[K%zu/%zu frames, %.2f frames/s, %.0f s", done_, total_,
                  rate, seconds);
  } else {
    const double left = static_cast<double>(total_ - done_) / rate;
    std::snprintf(line, sizeof line, "\r\033[K%zu/%zu frames, %.2f frames/s, %.0f s left", done_,
                  total_, rate, left);
  }
  std::fputs(line, stderr);
  std::fflush(stderr);
  drawn_ = true;
}
