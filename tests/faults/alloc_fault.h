#pragma once

// Fails chosen memory allocations of SQLite (through its allocator hooks) or of operator new
// (replaced in this binary), counted only while armed.

namespace tamsel::testing {

enum class Allocator { kSqlite, kNew };

struct AllocPlan {
  Allocator allocator = Allocator::kSqlite;
  int nth = 0;          // fails the nth allocation since arming, from 1; 0 only counts
  bool sticky = false;  // every later allocation fails as well
};

struct AllocTally {
  int calls = 0;
  bool fired = false;
};

// Hooks SQLite's allocator; must run before SQLite initialises. Idempotent.
void InstallAllocFaults();
void ArmAllocFaults(const AllocPlan& plan);
AllocTally DisarmAllocFaults();

}  // namespace tamsel::testing
