#pragma once

// Temporary files that must not outlive the tool however it ends, and signals that wait for the
// work in hand. A file is registered the moment it is made and forgotten once its owner has
// removed or renamed it; SIGINT, SIGTERM (and SIGHUP) remove every registered file before the
// tool ends by the signal, unless a SignalDeferral is alive.

#include <string>

namespace tamsel::cli {

// Registers path until destroyed or forgotten; the owner still removes the file itself.
class TempFileGuard {
 public:
  explicit TempFileGuard(const std::string& path);
  ~TempFileGuard();
  TempFileGuard(const TempFileGuard&) = delete;
  TempFileGuard& operator=(const TempFileGuard&) = delete;
  void Forget() noexcept;

 private:
  int slot_ = -1;
};

// While one lives, SIGINT and SIGTERM are noted rather than ending the tool, so that a loop can
// stop between two units of work; a second signal ends the tool at once.
class SignalDeferral {
 public:
  SignalDeferral();
  ~SignalDeferral();
  SignalDeferral(const SignalDeferral&) = delete;
  SignalDeferral& operator=(const SignalDeferral&) = delete;
  // The signal that arrived, 0 while none did.
  static int Pending() noexcept;
};

// The exit code of a tool ended by the signal: 128 plus its number (130 SIGINT, 143 SIGTERM).
inline int SignalExitCode(int signal) { return 128 + signal; }

}  // namespace tamsel::cli
