#pragma once

#include "scenario.h"
#include "usbabi.h"

#include <string>
#include <vector>

// The descriptors of one simulated device: the STM32 DfuSe ROM bootloader with
// its four alternate settings, or a device in DFU run-time mode.
class Descriptors
{
public:
    static constexpr uint16_t kTransferSize = 2048;

    explicit Descriptors(const DeviceSetup &setup);
    Descriptors(const Descriptors &) = delete;
    Descriptors &operator=(const Descriptors &) = delete;

    const libusb_device_descriptor &device() const { return m_device; }
    const libusb_config_descriptor &config() const { return m_config; }

    // Answers GET_DESCRIPTOR for strings and the DFU functional descriptor:
    // the number of bytes written to data, or a libusb error.
    int get(uint16_t value, uint8_t *data, uint16_t length) const;

private:
    int addString(const std::string &text);

    libusb_device_descriptor m_device;
    std::vector<libusb_interface_descriptor> m_alternates;
    libusb_interface m_interface;
    libusb_config_descriptor m_config;
    std::vector<uint8_t> m_functional;
    std::vector<std::string> m_strings; // string descriptor i + 1
};
