#pragma once

// Internal flash of the simulated bootloader: 1 MiB at 0x08000000 in twelve
// sectors (4 x 16 KiB, 1 x 64 KiB, 7 x 128 KiB), the layout its alt setting 0
// announces. Shared by the simulator and the tests that check its contents.

#include <cstdint>

namespace flashlayout {

constexpr uint32_t kBase = 0x08000000;
constexpr uint32_t kSize = 1024 * 1024;
constexpr uint8_t kErased = 0xff;

// Start offset of the sector that holds offset (offset < kSize).
constexpr uint32_t sectorStart(uint32_t offset)
{
    if (offset < 0x10000)
        return offset & ~uint32_t(0x3fff);
    if (offset < 0x20000)
        return 0x10000;
    return offset & ~uint32_t(0x1ffff);
}

// End offset (exclusive) of the sector that holds offset (offset < kSize).
constexpr uint32_t sectorEnd(uint32_t offset)
{
    const uint32_t start = sectorStart(offset);
    return start + (start < 0x10000 ? 0x4000 : start < 0x20000 ? 0x10000 : 0x20000);
}

static_assert(sectorEnd(0) == 0x4000 && sectorEnd(0xffff) == 0x10000, "16 KiB sectors");
static_assert(sectorStart(0x1ffff) == 0x10000 && sectorEnd(0x10000) == 0x20000, "64 KiB sector");
static_assert(sectorStart(kSize - 1) == kSize - 0x20000 && sectorEnd(kSize - 1) == kSize,
              "128 KiB sectors");

} // namespace flashlayout
