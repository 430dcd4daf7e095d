#include "present/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace tamsel::cli {

ProgressBar::ProgressBar(std::string label)
    : label_(std::move(label)), enabled_(isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() {
  // An interrupted bar must not leave the cursor at the end of its line.
  if (enabled_ && drawn_) std::fputs("\n", stderr);
}

void ProgressBar::Update(double share, const std::string& detail) {
  if (!enabled_) return;
  share = std::clamp(share, 0.0, 1.0);
  int percent = static_cast<int>(share * 100);
  auto now = std::chrono::steady_clock::now();
  if (percent == last_percent_ && now - last_draw_ < std::chrono::milliseconds(200)) return;
  if (drawn_ && now - last_draw_ < std::chrono::milliseconds(50)) return;
  last_percent_ = percent;
  last_draw_ = now;
  Draw(share, detail);
}

void ProgressBar::Finish(const std::string& detail) {
  if (!enabled_) return;
  Draw(1.0, detail);
  std::fputs("\n", stderr);
  drawn_ = false;
}

void ProgressBar::Draw(double share, const std::string& detail) {
  constexpr int kWidth = 30;
  int filled = static_cast<int>(share * kWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), '.');
  std::fprintf(stderr, "\r%s [%s] %3d%% %s\x1b[K", label_.c_str(), bar.c_str(),
               static_cast<int>(share * 100), detail.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

}  // namespace tamsel::cli
