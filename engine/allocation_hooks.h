#pragma once
// Where the downloader gets its link and its block buffers. Production
// allocates with new (std::nothrow); tests install a hook to make an
// allocation fail. A hooked block must come from new[] (it is freed with
// delete[]), a hooked link from new.

#include <cstddef>
#include <cstdint>

class CPrinterLink;

namespace rtq {

using LinkAllocHook = CPrinterLink* (*)();
using BlockAllocHook = uint8_t* (*)(size_t size);

void SetLinkAllocHook(LinkAllocHook hook);    // nullptr: the default
void SetBlockAllocHook(BlockAllocHook hook);  // nullptr: the default

// Null when memory ran out.
CPrinterLink* AllocateLink();
uint8_t* AllocateBlock(size_t size);

}  // namespace rtq
