#include "files/cleanup.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>

#include "cli_context.h"
#include "present/i18n.h"

namespace tamsel::cli {
namespace {

// Fixed storage: the handler may only read what needs no allocation and no lock.
constexpr size_t kSlots = 8;
constexpr size_t kPathMax = 4096;
struct Slot {
  std::atomic<bool> used{false};
  char path[kPathMax];
};
std::array<Slot, kSlots> slots;
std::atomic<int> deferrals{0};
volatile std::sig_atomic_t pending = 0;

extern "C" void OnSignal(int signal) {
  if (deferrals.load() > 0 && pending == 0) {
    pending = signal;
    return;
  }
  for (Slot& slot : slots) {
    if (slot.used.load()) ::unlink(slot.path);
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void Catch(int signal) {
  // A signal the tool was started to ignore (a background job's SIGINT) stays ignored.
  if (std::signal(signal, OnSignal) == SIG_IGN) std::signal(signal, SIG_IGN);
}

void InstallHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    Catch(SIGINT);
    Catch(SIGTERM);
#ifdef SIGHUP
    Catch(SIGHUP);
#endif
  });
}

}  // namespace

TempFileGuard::TempFileGuard(const std::string& path) {
  InstallHandler();
  if (path.size() >= kPathMax) throw ToolError(Tf("path too long: {0}", path));
  for (size_t i = 0; i < kSlots; ++i) {
    Slot& slot = slots[i];
    if (slot.used.load()) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.used.store(true);
    slot_ = static_cast<int>(i);
    return;
  }
  throw ToolError(_("too many temporary files at once"));
}

TempFileGuard::~TempFileGuard() { Forget(); }

void TempFileGuard::Forget() noexcept {
  if (slot_ >= 0) slots[static_cast<size_t>(slot_)].used.store(false);
  slot_ = -1;
}

SignalDeferral::SignalDeferral() {
  InstallHandler();
  ++deferrals;
}

SignalDeferral::~SignalDeferral() { --deferrals; }

int SignalDeferral::Pending() noexcept { return pending; }

}  // namespace tamsel::cli
