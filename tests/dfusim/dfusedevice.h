#pragma once

#include "usbabi.h"

#include <cstdint>
#include <string>
#include <vector>

// One entry of the device list (libusb.cpp).
struct DeviceSetup
{
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string serial; // empty: none
    bool runtime = false;
    uint8_t port = 0;
};

// RAVLO_DFUSIM_FAULT: its name and the count of the request it hits.
struct Fault
{
    std::string name;
    int n = 1;

    bool is(const char *kind) const { return name == kind; }
    bool at(const char *kind, int count) const { return name == kind && n == count; }
};

// One simulated STM32 DfuSe ROM bootloader, or a device in DFU run-time mode:
// its descriptors, its DFU 1.1 state machine with the DfuSe requests dfu-util
// downloads with (set address pointer, sector erase, addressed blocks, leave
// on a zero-length block) and its flash. A request the state does not allow
// is stalled and leaves dfuERROR; commands and blocks are carried out at the
// status poll that finds them in dfuDNBUSY.
class DfuSeDevice
{
public:
    // The flash its alt setting 0 announces: 1 MiB in sectors of 4 x 16 KiB,
    // 1 x 64 KiB and 7 x 128 KiB.
    static constexpr uint32_t kFlashBase = 0x08000000;
    static constexpr uint32_t kFlashSize = 1024 * 1024;
    static constexpr uint16_t kTransferSize = 2048;

    DfuSeDevice(const DeviceSetup &setup, const Fault &fault, uint32_t pollMs,
                std::vector<uint8_t> flash);
    DfuSeDevice(const DfuSeDevice &) = delete;
    DfuSeDevice &operator=(const DfuSeDevice &) = delete;

    // GET_DESCRIPTOR of a string; a class request to the DFU interface. Both
    // give the number of bytes transferred or a libusb error.
    int string(uint8_t index, uint8_t *data, uint16_t length) const;
    int control(uint8_t request, uint16_t value, uint8_t *data, uint16_t length);

    libusb_device_descriptor descriptor;
    libusb_config_descriptor config;
    const uint8_t port;
    const Fault fault;
    bool gone = false; // off the bus: it left DFU mode, detached or vanished
    std::vector<uint8_t> flash;
    bool flashChanged = false;

private:
    int download(uint16_t block, const uint8_t *data, uint16_t length);
    int status(uint8_t *data);
    int stall();
    void fail(uint8_t status);
    void carryOut();

    libusb_interface_descriptor m_alternates[4];
    libusb_interface m_interface;
    const std::string m_serial;
    const uint32_t m_pollMs;
    uint8_t m_state;
    uint8_t m_status;
    uint32_t m_pointer = 0;
    uint16_t m_block = 0; // the pending download, carried out at dfuDNBUSY
    std::vector<uint8_t> m_pending;
    int m_downloads = 0; // counts for the faults
    int m_blocks = 0;
    int m_erases = 0;
};
