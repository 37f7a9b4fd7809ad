// Counts heap allocations made by the benchmark process (the global operator
// new is replaced in alloc_counter.cpp).
#pragma once

#include <cstdint>

namespace bench {

std::uint64_t allocations();

// Allocations made on this thread between construction and `count()`.
class AllocationScope {
 public:
  AllocationScope() : start_(allocations()) {}
  std::uint64_t count() const { return allocations() - start_; }

 private:
  std::uint64_t start_;
};

}  // namespace bench
