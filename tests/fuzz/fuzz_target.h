#pragma once
// The one entry point every target defines: libFuzzer calls it, and so
// does the replay driver of the normal build.

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
