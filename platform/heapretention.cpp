#include "heapretention.h"

// Any C library header defines __GLIBC__ on glibc; only glibc has these two calls.
#include <cstdlib>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr int largeBlockBytes = 3 * 1024 * 1024;
// As the C library pairs them when it moves the threshold itself: free space at the top of a
// heap is kept up to twice a large block, so that a transfer's pieces, freed and made anew
// hundreds of times a second, reuse the same pages instead of having them given back and
// faulted in again each time.
constexpr int keptTopBytes = 2 * largeBlockBytes;

} // namespace

void keepLargeBlocksOutOfHeap()
{
#ifdef __GLIBC__
    // Setting the thresholds at all also stops the C library from moving them.
    mallopt(M_MMAP_THRESHOLD, largeBlockBytes);
    mallopt(M_TRIM_THRESHOLD, keptTopBytes);
#endif
}

void releaseFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}
