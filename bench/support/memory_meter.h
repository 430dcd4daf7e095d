#pragma once

// Memory a benchmark uses: the C++ heap, counted by this program's operator new, together with
// SQLite's own allocator (page caches, compiled statements), which both the component and the
// raw baseline go through.

#include <cstdint>

namespace tamsel::bench {

class MemoryMeter {
 public:
  // Takes what is in use now as the zero and restarts SQLite's high-water mark.
  MemoryMeter();
  // Peak bytes in use above the zero since construction (C++ heap + SQLite).
  int64_t PeakBytes() const;
  // Bytes the C++ heap handed out since construction, freed or not.
  int64_t AllocatedBytes() const;

 private:
  int64_t heap_base_;
  int64_t heap_total_base_;
  int64_t sqlite_base_;
};

}  // namespace tamsel::bench
