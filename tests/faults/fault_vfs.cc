#include "faults/fault_vfs.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <stdexcept>

namespace tamsel::testing {

namespace {

struct FaultFile {
  sqlite3_file base;
  sqlite3_file* real;  // the wrapped file, allocated right behind this one
};

sqlite3_vfs* g_real = nullptr;
sqlite3_vfs g_vfs;
sqlite3_io_methods g_methods[4];  // by the wrapped file's iVersion

// Armed around calls on the test's thread only; atomic because connections of other threads
// may still touch their files meanwhile.
std::atomic<bool> g_armed{false};
std::array<std::atomic<int>, std::size(kIoCalls)> g_calls;
std::atomic<bool> g_fired{false};
FaultPlan g_plan;

sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<FaultFile*>(file)->real; }

// SQLITE_OK to go on with the real call, or the error to return in its place.
int Injected(IoCall call) {
  if (!g_armed.load()) return SQLITE_OK;
  const int n = ++g_calls[static_cast<size_t>(call)];
  if (call != g_plan.call || g_plan.nth == 0 || n < g_plan.nth ||
      (n > g_plan.nth && !g_plan.sticky))
    return SQLITE_OK;
  g_fired = true;
  // The I/O error of each call, in IoCall order.
  static const int kErrors[] = {SQLITE_IOERR_READ,     SQLITE_IOERR_WRITE, SQLITE_IOERR_FSYNC,
                                SQLITE_IOERR_TRUNCATE, SQLITE_IOERR_LOCK,  SQLITE_IOERR_SHMLOCK};
  return g_plan.disk_full ? SQLITE_FULL : kErrors[static_cast<size_t>(call)];
}

// The real call, unless the fault replaces it.
template <typename F>
int Pass(IoCall call, F&& real) {
  if (const int rc = Injected(call)) return rc;
  return real();
}

// A failing unlock still unlocks: SQLite ignores most unlock failures, and a lock that leaks
// until the connection closes is beyond what any caller can recover from.
template <typename F>
int Unlocking(IoCall call, F&& real) {
  const int rc = real();
  if (const int injected = Injected(call)) return injected;
  return rc;
}

int Close(sqlite3_file* file) { return Real(file)->pMethods->xClose(Real(file)); }
int Read(sqlite3_file* file, void* buf, int n, sqlite3_int64 offset) {
  return Pass(IoCall::kRead,
              [&] { return Real(file)->pMethods->xRead(Real(file), buf, n, offset); });
}
int Write(sqlite3_file* file, const void* buf, int n, sqlite3_int64 offset) {
  return Pass(IoCall::kWrite,
              [&] { return Real(file)->pMethods->xWrite(Real(file), buf, n, offset); });
}
int Truncate(sqlite3_file* file, sqlite3_int64 size) {
  return Pass(IoCall::kTruncate, [&] { return Real(file)->pMethods->xTruncate(Real(file), size); });
}
int Sync(sqlite3_file* file, int flags) {
  return Pass(IoCall::kSync, [&] { return Real(file)->pMethods->xSync(Real(file), flags); });
}
int FileSize(sqlite3_file* file, sqlite3_int64* size) {
  return Real(file)->pMethods->xFileSize(Real(file), size);
}
int Lock(sqlite3_file* file, int level) {
  return Pass(IoCall::kLock, [&] { return Real(file)->pMethods->xLock(Real(file), level); });
}
int Unlock(sqlite3_file* file, int level) {
  return Unlocking(IoCall::kLock, [&] { return Real(file)->pMethods->xUnlock(Real(file), level); });
}
int CheckReservedLock(sqlite3_file* file, int* out) {
  return Pass(IoCall::kLock,
              [&] { return Real(file)->pMethods->xCheckReservedLock(Real(file), out); });
}
int FileControl(sqlite3_file* file, int op, void* arg) {
  return Real(file)->pMethods->xFileControl(Real(file), op, arg);
}
int SectorSize(sqlite3_file* file) { return Real(file)->pMethods->xSectorSize(Real(file)); }
int DeviceCharacteristics(sqlite3_file* file) {
  return Real(file)->pMethods->xDeviceCharacteristics(Real(file));
}
int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out) {
  return Pass(IoCall::kShm,
              [&] { return Real(file)->pMethods->xShmMap(Real(file), region, size, extend, out); });
}
int ShmLock(sqlite3_file* file, int offset, int n, int flags) {
  const auto real = [&] { return Real(file)->pMethods->xShmLock(Real(file), offset, n, flags); };
  return (flags & SQLITE_SHM_UNLOCK) != 0 ? Unlocking(IoCall::kShm, real)
                                          : Pass(IoCall::kShm, real);
}
void ShmBarrier(sqlite3_file* file) { Real(file)->pMethods->xShmBarrier(Real(file)); }
int ShmUnmap(sqlite3_file* file, int remove) {
  return Real(file)->pMethods->xShmUnmap(Real(file), remove);
}
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int n, void** out) {
  return Real(file)->pMethods->xFetch(Real(file), offset, n, out);
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
  return Real(file)->pMethods->xUnfetch(Real(file), offset, page);
}

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* out_flags) {
  auto* wrapper = reinterpret_cast<FaultFile*>(file);
  wrapper->real = reinterpret_cast<sqlite3_file*>(wrapper + 1);
  const int rc = g_real->xOpen(g_real, name, wrapper->real, flags, out_flags);
  // SQLite closes a file whose methods are set even when opening failed; so must the wrapper.
  const sqlite3_io_methods* real = wrapper->real->pMethods;
  file->pMethods = real ? &g_methods[std::min(real->iVersion, 3)] : nullptr;
  return rc;
}

}  // namespace

const char* IoCallName(IoCall call) {
  static const char* const kNames[] = {"read", "write", "sync", "truncate", "lock", "shm"};
  return kNames[static_cast<int>(call)];
}

void InstallFaultVfs() {
  if (g_real != nullptr) return;
  sqlite3_initialize();
  g_real = sqlite3_vfs_find(nullptr);
  if (g_real == nullptr || g_real->iVersion < 2) throw std::runtime_error("no usable default VFS");
  // clang-format off
  for (int v = 1; v <= 3; ++v) {
    g_methods[v] = {v, Close, Read, Write, Truncate, Sync, FileSize, Lock, Unlock,
                    CheckReservedLock, FileControl, SectorSize, DeviceCharacteristics, ShmMap,
                    ShmLock, ShmBarrier, ShmUnmap, Fetch, Unfetch};
  }
  // clang-format on
  // Everything but opening a file is the real VFS's own; its other methods ignore the VFS
  // they are called with.
  g_vfs = *g_real;
  g_vfs.szOsFile += static_cast<int>(sizeof(FaultFile));
  g_vfs.pNext = nullptr;
  g_vfs.zName = "tamsel-faults";
  g_vfs.xOpen = Open;
  if (sqlite3_vfs_register(&g_vfs, 1) != SQLITE_OK) {
    throw std::runtime_error("cannot register the fault VFS");
  }
}

void ArmFaults(const FaultPlan& plan) {
  g_plan = plan;
  for (auto& calls : g_calls) calls = 0;
  g_fired = false;
  g_armed = true;
}

bool FaultFired() { return g_fired.load(); }

FaultTally DisarmFaults() {
  g_armed = false;
  FaultTally tally;
  for (size_t i = 0; i < g_calls.size(); ++i) tally.calls[i] = g_calls[i].load();
  tally.fired = g_fired.load();
  return tally;
}

}  // namespace tamsel::testing
