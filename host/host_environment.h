// What a host program asks of Windows about itself: where it lives, how its
// locale writes numbers and how much memory it holds.
#pragma once

#include <cstddef>
#include <string>

// The folder of the running program, with a trailing backslash.
std::string ExeFolder();
// The decimal separator of the calling thread's locale.
char DecimalSeparator();

// The committed private memory of the process, as Windows sees it: the sum
// of the committed MEM_PRIVATE regions of the address space (heaps,
// VirtualAlloc'd blocks, stacks). Not GetProcessMemoryInfo: under Wine that
// is the Linux process's anonymous resident memory, which under qemu-user
// also holds the emulator's translation cache.
size_t CommittedPrivateBytes();
