#include "engine/allocation_hooks.h"

#include <atomic>
#include <new>

#include "protocol/printer_link.h"

namespace rtq {

namespace {
std::atomic<LinkAllocHook> g_linkHook{nullptr};
std::atomic<BlockAllocHook> g_blockHook{nullptr};
}  // namespace

void SetLinkAllocHook(LinkAllocHook hook) { g_linkHook.store(hook); }
void SetBlockAllocHook(BlockAllocHook hook) { g_blockHook.store(hook); }

CPrinterLink* AllocateLink() {
    if (LinkAllocHook hook = g_linkHook.load()) return hook();
    return new (std::nothrow) CPrinterLink;
}

uint8_t* AllocateBlock(size_t size) {
    if (BlockAllocHook hook = g_blockHook.load()) return hook(size);
    return new (std::nothrow) uint8_t[size];
}

}  // namespace rtq
