#pragma once

// A one-line progress bar on stderr, drawn only when stderr is a terminal.

#include <chrono>
#include <string>

namespace tamsel::cli {

class ProgressBar {
 public:
  explicit ProgressBar(std::string label);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // share is 0..1; redrawn at most a few times a second.
  void Update(double share, const std::string& detail = "");
  // Draws 100% and ends the line.
  void Finish(const std::string& detail = "");

 private:
  void Draw(double share, const std::string& detail);

  std::string label_;
  bool enabled_;
  bool drawn_ = false;
  int last_percent_ = -1;
  std::chrono::steady_clock::time_point last_draw_;
};

}  // namespace tamsel::cli
