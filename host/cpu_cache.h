// The size of the processor's last-level cache, as CPUID describes it.
#pragma once

#include <cstdint>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

// Bytes of the processor's last-level cache, as one core sees it; 0 when
// the processor does not say. Read from the cache descriptors (Intel's
// leaf 4, AMD's 0x8000001D), from the fourth on, which on current
// processors is the third level: each CPUID may trap to a hypervisor (about
// 5 us in a virtual machine), so no more are read than needed. AMD's older
// leaf 0x80000006 is not used: virtual machines fill it with the whole
// package's cache.
inline uint64_t CpuidLastLevelCacheBytes() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned maxLeaf, vendor, ecx, edx, eax, ebx;
  __cpuid(0, maxLeaf, vendor, ecx, edx);
  constexpr unsigned kAuthenticAmd = 0x68747541, kHygonGenuine = 0x6f677948;  // first four letters
  unsigned leaf = 4;
  if (vendor == kAuthenticAmd || vendor == kHygonGenuine) {
    __cpuid(0x80000000u, maxLeaf, ebx, ecx, edx);
    leaf = 0x8000001Du;
  }
  if (maxLeaf < leaf) return 0;
  uint64_t largest = 0;
  for (unsigned descriptor = 3; descriptor < 8; ++descriptor) {
    __cpuid_count(leaf, descriptor, eax, ebx, ecx, edx);
    if ((eax & 31) == 0) break;  // no more caches
    largest = uint64_t{(ebx >> 22) + 1} * (((ebx >> 12) & 1023) + 1) * ((ebx & 4095) + 1) * (uint64_t{ecx} + 1);
    if (((eax >> 5) & 7) >= 3) break;  // the third level: the last there is
  }
  return largest;
#else
  return 0;
#endif
}
