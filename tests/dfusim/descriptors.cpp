#include "descriptors.h"

#include <algorithm>

namespace {

// The names the STM32F4 ROM bootloader gives its alternate settings; alt 0
// describes the layout in flashlayout.h.
const char *const kBootloaderAlternates[] = {
    "@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg",
    "@Option Bytes  /0x1FFFC000/01*016 e",
    "@OTP Memory /0x1FFF7800/01*512 e,01*016 e",
    "@Device Feature/0xFFFF0000/01*004 e",
};

constexpr uint8_t kClassApplicationSpecific = 0xfe;
constexpr uint8_t kSubclassDfu = 0x01;
constexpr uint8_t kProtocolRuntime = 0x01;
constexpr uint8_t kProtocolDfuMode = 0x02;
// bitCanDnload, bitCanUpload and bitWillDetach, as the ROM reports.
constexpr uint8_t kDfuAttributes = 0x0b;
constexpr uint16_t kDetachTimeoutMs = 255;
constexpr uint16_t kDfuVersionDfuSe = 0x011a;
constexpr uint16_t kDfuVersion11 = 0x0110;

void appendLe16(std::vector<uint8_t> &bytes, uint16_t value)
{
    bytes.push_back(static_cast<uint8_t>(value & 0xff));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

int copyOut(const std::vector<uint8_t> &bytes, uint8_t *data, uint16_t length)
{
    const size_t count = std::min<size_t>(bytes.size(), length);
    std::copy_n(bytes.begin(), count, data);
    return static_cast<int>(count);
}

} // namespace

Descriptors::Descriptors(const DeviceSetup &setup)
    : m_device{}
    , m_interface{}
    , m_config{}
{
    m_device.bLength = 18;
    m_device.bDescriptorType = usb::kDescriptorDevice;
    m_device.bcdUSB = 0x0200;
    m_device.bMaxPacketSize0 = 64;
    m_device.idVendor = setup.vendor;
    m_device.idProduct = setup.product;
    m_device.bcdDevice = 0x0200;
    m_device.iManufacturer = addString("STMicroelectronics");
    m_device.iProduct = addString("STM32  BOOTLOADER");
    m_device.iSerialNumber = setup.serial.empty() ? 0 : addString(setup.serial);
    m_device.bNumConfigurations = 1;

    // The functional descriptor follows the last alternate setting, so libusb
    // would hand it over as that setting's extra bytes.
    m_functional = {9, usb::kDescriptorDfuFunctional, kDfuAttributes};
    appendLe16(m_functional, kDetachTimeoutMs);
    appendLe16(m_functional, kTransferSize);
    appendLe16(m_functional, setup.runtime ? kDfuVersion11 : kDfuVersionDfuSe);

    libusb_interface_descriptor alternate{};
    alternate.bLength = 9;
    alternate.bDescriptorType = usb::kDescriptorInterface;
    alternate.bInterfaceClass = kClassApplicationSpecific;
    alternate.bInterfaceSubClass = kSubclassDfu;
    if (setup.runtime) {
        alternate.bInterfaceProtocol = kProtocolRuntime;
        m_alternates.push_back(alternate);
    } else {
        alternate.bInterfaceProtocol = kProtocolDfuMode;
        for (const char *name : kBootloaderAlternates) {
            alternate.iInterface = addString(name);
            m_alternates.push_back(alternate);
            ++alternate.bAlternateSetting;
        }
    }
    m_alternates.back().extra = m_functional.data();
    m_alternates.back().extra_length = static_cast<int>(m_functional.size());

    m_interface.altsetting = m_alternates.data();
    m_interface.num_altsetting = static_cast<int>(m_alternates.size());

    m_config.bLength = 9;
    m_config.bDescriptorType = usb::kDescriptorConfig;
    m_config.wTotalLength =
        static_cast<uint16_t>(9 + 9 * m_alternates.size() + m_functional.size());
    m_config.bNumInterfaces = 1;
    m_config.bConfigurationValue = 1;
    m_config.bmAttributes = 0xc0;
    m_config.MaxPower = 50;
    m_config.interface = &m_interface;
}

int Descriptors::addString(const std::string &text)
{
    m_strings.push_back(text);
    return static_cast<int>(m_strings.size());
}

int Descriptors::get(uint16_t value, uint8_t *data, uint16_t length) const
{
    const uint8_t type = static_cast<uint8_t>(value >> 8);
    const uint8_t index = static_cast<uint8_t>(value & 0xff);
    if (type == usb::kDescriptorDfuFunctional && index == 0)
        return copyOut(m_functional, data, length);
    if (type != usb::kDescriptorString || index > m_strings.size())
        return LIBUSB_ERROR_PIPE;

    std::vector<uint8_t> bytes = {0, usb::kDescriptorString};
    if (index == 0) {
        appendLe16(bytes, 0x0409); // the only language: US English
    } else {
        // Strings are printable ASCII, so UTF-16LE is one zero-extended unit each.
        for (const char c : m_strings[index - 1u])
            appendLe16(bytes, static_cast<uint8_t>(c));
    }
    bytes[0] = static_cast<uint8_t>(bytes.size());
    return copyOut(bytes, data, length);
}
