#pragma once

// The C library's heap keeps memory that was freed, to hand it out again. Over a day of
// downloads that kept tens of megabytes that nothing used any more; these two calls bound it.

// Blocks of at least 3 MiB come straight from the system and go back when freed. Such blocks
// are the window-sized images and textures of the software-rendered page (about 4 MiB each,
// made anew around every download). Left to itself, the C library raises this threshold to the
// size of the first such block freed, after which they come from the heap and stay there as
// free space between smaller blocks. A transfer's pieces stay below it and are reused from the
// heap: at most 1 MiB each with Qt 5, just over 2 MiB with Qt 6, which a threshold of 2 MiB
// mapped and faulted in anew for every piece, at a fifth of curl's speed. Call it first
// thing in main().
void keepLargeBlocksOutOfHeap();

// Hands the free pages inside the heaps back to the system: after a download, what its transfer
// and its screens freed is no longer counted against the program.
void releaseFreedMemory();
