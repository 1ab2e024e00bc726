#include "flash.h"

#include "flashlayout.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unistd.h>

using namespace flashlayout;

namespace {

using File = std::unique_ptr<FILE, int (*)(FILE *)>;

File openFile(const std::string &path, const char *mode)
{
    return File(std::fopen(path.c_str(), mode), &std::fclose);
}

} // namespace

Flash::Flash()
    : m_bytes(kSize)
{
    for (uint32_t i = 0; i < kSize; ++i)
        m_bytes[i] = static_cast<uint8_t>(i % 255);
}

bool Flash::load(const std::string &path)
{
    File file = openFile(path, "rb");
    if (!file)
        return false;
    std::vector<uint8_t> bytes(kSize, kErased);
    const size_t size = std::fread(bytes.data(), 1, kSize, file.get());
    if (std::ferror(file.get()) || (size == kSize && std::fgetc(file.get()) != EOF))
        return false;
    m_bytes.swap(bytes);
    return true;
}

bool Flash::save(const std::string &path) const
{
    const std::string part = path + "." + std::to_string(getpid());
    File file = openFile(part, "wb");
    const bool written = file && std::fwrite(m_bytes.data(), 1, kSize, file.get()) == kSize &&
                         std::fclose(file.release()) == 0;
    if (written && std::rename(part.c_str(), path.c_str()) == 0)
        return true;
    std::remove(part.c_str());
    return false;
}

bool Flash::contains(uint32_t address, uint32_t length)
{
    return address >= kBase && address - kBase <= kSize && length <= kSize - (address - kBase);
}

Flash::Result Flash::eraseSector(uint32_t address)
{
    if (!contains(address, 1))
        return Result::OutOfRange;
    const uint32_t offset = address - kBase;
    std::fill(m_bytes.begin() + sectorStart(offset), m_bytes.begin() + sectorEnd(offset), kErased);
    return Result::Ok;
}

void Flash::eraseAll()
{
    std::fill(m_bytes.begin(), m_bytes.end(), kErased);
}

Flash::Result Flash::program(uint32_t address, const uint8_t *data, uint32_t length)
{
    if (!contains(address, length))
        return Result::OutOfRange;
    uint8_t *target = m_bytes.data() + (address - kBase);
    for (uint32_t i = 0; i < length; ++i) {
        if (target[i] != kErased)
            return Result::NotErased;
        target[i] = data[i];
    }
    return Result::Ok;
}

Flash::Result Flash::read(uint32_t address, uint8_t *data, uint32_t length) const
{
    if (!contains(address, length))
        return Result::OutOfRange;
    std::copy_n(m_bytes.data() + (address - kBase), length, data);
    return Result::Ok;
}
