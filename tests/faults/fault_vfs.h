#pragma once

#include <array>

// A SQLite VFS over the platform's default one that fails chosen I/O calls. Registered as the
// default, it also serves connections that the SQLite ODBC driver opens in this process, since
// that driver uses the same libsqlite3.

namespace tamsel::testing {

enum class IoCall { kRead, kWrite, kSync, kTruncate, kLock, kShm };
constexpr IoCall kIoCalls[] = {IoCall::kRead,     IoCall::kWrite, IoCall::kSync,
                               IoCall::kTruncate, IoCall::kLock,  IoCall::kShm};
const char* IoCallName(IoCall call);

struct FaultPlan {
  IoCall call = IoCall::kRead;
  int nth = 0;             // fails the nth call of the kind since arming, from 1; 0 only counts
  bool disk_full = false;  // SQLITE_FULL instead of the call's own I/O error
  bool sticky = false;     // every later call of the kind fails as well
};

struct FaultTally {
  std::array<int, std::size(kIoCalls)> calls{};  // by kind, while armed
  bool fired = false;
};

// Makes the wrapper the default VFS; connections opened afterwards go through it. Idempotent.
void InstallFaultVfs();
// Calls are counted and failed only between ArmFaults and DisarmFaults.
void ArmFaults(const FaultPlan& plan);
bool FaultFired();
FaultTally DisarmFaults();

}  // namespace tamsel::testing
