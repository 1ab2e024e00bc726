#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The simulated internal flash. Erasing works on whole sectors; programming
// can only turn erased bytes into data, as on the real part.
class Flash
{
public:
    enum class Result
    {
        Ok,
        OutOfRange,
        NotErased
    };

    // Starts out holding a previous firmware: a pattern with no erased byte.
    Flash();

    // Replaces the contents with a file's (shorter files leave the rest
    // erased). False when the file cannot be read or is larger than the flash.
    bool load(const std::string &path);
    // Writes a file beside it first and renames that, so that another process
    // loading the flash meanwhile reads the old contents or the new, never half.
    bool save(const std::string &path) const;

    static bool contains(uint32_t address, uint32_t length);
    // Erases the sector that holds address.
    Result eraseSector(uint32_t address);
    void eraseAll();
    // Writes byte by byte and stops at the first one that is not erased.
    Result program(uint32_t address, const uint8_t *data, uint32_t length);
    Result read(uint32_t address, uint8_t *data, uint32_t length) const;

private:
    std::vector<uint8_t> m_bytes;
};
