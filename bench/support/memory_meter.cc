#include "support/memory_meter.h"

#include <malloc.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string_view>

namespace {

std::atomic<int64_t> heap_live{0};
std::atomic<int64_t> heap_peak{0};
std::atomic<int64_t> heap_total{0};

// TAMSEL_BENCH_MEMORY=0 measures without the meter: its shared counters, and SQLite's memory
// statistics behind one global mutex, would make threads wait for each other.
bool Metering() {
  static const bool metering = [] {
    const char* setting = std::getenv("TAMSEL_BENCH_MEMORY");
    return setting == nullptr || std::string_view(setting) != "0";
  }();
  return metering;
}

void* CountedAlloc(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  if (!Metering()) return p;
  const auto usable = static_cast<int64_t>(malloc_usable_size(p));
  const int64_t live = heap_live.fetch_add(usable, std::memory_order_relaxed) + usable;
  heap_total.fetch_add(usable, std::memory_order_relaxed);
  int64_t peak = heap_peak.load(std::memory_order_relaxed);
  while (live > peak && !heap_peak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
  return p;
}

void CountedFree(void* p) noexcept {
  if (p == nullptr) return;
  if (!Metering()) {
    std::free(p);
    return;
  }
  heap_live.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
  std::free(p);
}

// The meter reads SQLite's memory statistics, so this program starts SQLite with them on (the
// library leaves SQLite's global settings to the process).
const bool sqlite_counts_memory = [] {
  if (!Metering()) return false;
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 1);
  return sqlite3_initialize() == SQLITE_OK;
}();

}  // namespace

void* operator new(std::size_t size) { return CountedAlloc(size); }
void* operator new[](std::size_t size) { return CountedAlloc(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return CountedAlloc(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, std::size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, std::size_t) noexcept { CountedFree(p); }

namespace tamsel::bench {

MemoryMeter::MemoryMeter()
    : heap_base_(heap_live.load()),
      heap_total_base_(heap_total.load()),
      sqlite_base_(sqlite3_memory_used()) {
  heap_peak.store(heap_base_);
  sqlite3_memory_highwater(1);
}

int64_t MemoryMeter::PeakBytes() const {
  return (heap_peak.load() - heap_base_) + (sqlite3_memory_highwater(0) - sqlite_base_);
}

int64_t MemoryMeter::AllocatedBytes() const { return heap_total.load() - heap_total_base_; }

}  // namespace tamsel::bench
