// Replacements of the global allocation functions that count per thread.
// Thread-local counters keep the count free of contention, so that the
// two-thread benchmarks are not slowed by the counting itself.
#include "allocation_counter.h"

#include <array>
#include <cstdlib>
#include <new>

namespace {

using tavisor::bench::kAllocationLogCapacity;

thread_local tavisor::bench::AllocationCount counted;
thread_local bool logging = false;
thread_local std::size_t logged = 0;
thread_local std::array<std::size_t, kAllocationLogCapacity> log_sizes;

void Count(std::size_t size) noexcept {
  ++counted.allocations;
  counted.bytes += size;
  if (logging && logged < kAllocationLogCapacity) log_sizes[logged++] = size;
}

void* Allocate(std::size_t size) {
  Count(size);
  // malloc(0) may return null; operator new must not.
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

void* AllocateNoThrow(std::size_t size) noexcept {
  Count(size);
  return std::malloc(size == 0 ? 1 : size);
}

void Release(void* p) noexcept {
  if (p == nullptr) return;
  ++counted.releases;
  std::free(p);
}

}  // namespace

namespace tavisor::bench {
AllocationCount ThreadAllocations() { return counted; }

void StartAllocationLog() {
  logged = 0;
  logging = true;
}

std::span<const std::size_t> StopAllocationLog() {
  logging = false;
  return {log_sizes.data(), logged};
}
}  // namespace tavisor::bench

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateNoThrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return AllocateNoThrow(size);
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
