// Counts what the global allocation functions hand out on the calling
// thread. The benchmark binary replaces the global operator new and delete
// (allocation_counter.cpp); the library, loaded into the same process, then
// allocates through them too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavisor::bench {

struct AllocationCount {
  std::uint64_t allocations = 0;
  std::uint64_t bytes = 0;  // as requested, without the allocator's overhead
  std::uint64_t releases = 0;
};

// What the calling thread has allocated and released so far.
AllocationCount ThreadAllocations();

// Sizes of the allocations of the calling thread from StartAllocationLog
// on; at most kAllocationLogCapacity of them are kept.
inline constexpr std::size_t kAllocationLogCapacity = 256;
void StartAllocationLog();
std::span<const std::size_t> StopAllocationLog();

// What happened between two readings.
inline AllocationCount operator-(const AllocationCount& a, const AllocationCount& b) {
  return {a.allocations - b.allocations, a.bytes - b.bytes, a.releases - b.releases};
}

}  // namespace tavisor::bench
