#include "faults/alloc_fault.h"

#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace tamsel::testing {

namespace {

std::atomic<bool> g_armed{false};
std::atomic<int> g_calls{0};
std::atomic<bool> g_fired{false};
AllocPlan g_plan;
sqlite3_mem_methods g_real{};

bool Fails(Allocator allocator) {
  if (!g_armed.load(std::memory_order_relaxed) || allocator != g_plan.allocator) return false;
  const int n = ++g_calls;
  if (g_plan.nth == 0 || n < g_plan.nth || (n > g_plan.nth && !g_plan.sticky)) return false;
  g_fired = true;
  return true;
}

void* SqliteMalloc(int size) { return Fails(Allocator::kSqlite) ? nullptr : g_real.xMalloc(size); }
void* SqliteRealloc(void* p, int size) {
  return Fails(Allocator::kSqlite) ? nullptr : g_real.xRealloc(p, size);
}

}  // namespace

void InstallAllocFaults() {
  static const bool installed = [] {
    sqlite3_config(SQLITE_CONFIG_GETMALLOC, &g_real);
    sqlite3_mem_methods hooked = g_real;
    hooked.xMalloc = SqliteMalloc;
    hooked.xRealloc = SqliteRealloc;
    return sqlite3_config(SQLITE_CONFIG_MALLOC, &hooked) == SQLITE_OK;
  }();
  if (!installed) std::abort();
}

void ArmAllocFaults(const AllocPlan& plan) {
  g_plan = plan;
  g_calls = 0;
  g_fired = false;
  g_armed = true;
}

AllocTally DisarmAllocFaults() {
  g_armed = false;
  return {g_calls.load(), g_fired.load()};
}

}  // namespace tamsel::testing

// The replaceable allocation functions; the other forms of new and delete come to these.
void* operator new(std::size_t size) {
  if (tamsel::testing::Fails(tamsel::testing::Allocator::kNew)) throw std::bad_alloc();
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
