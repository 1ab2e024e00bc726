#pragma once

// The part of libusb's public interface that dfu-util uses, declared here with
// the binary layout of libusb 1.0.26 so that the simulated library can stand in
// for the real one. Only what the simulator needs is declared.

#include <cstddef>
#include <cstdint>

extern "C" {

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

enum libusb_error
{
    LIBUSB_SUCCESS = 0,
    LIBUSB_ERROR_IO = -1,
    LIBUSB_ERROR_INVALID_PARAM = -2,
    LIBUSB_ERROR_ACCESS = -3,
    LIBUSB_ERROR_NO_DEVICE = -4,
    LIBUSB_ERROR_NOT_FOUND = -5,
    LIBUSB_ERROR_BUSY = -6,
    LIBUSB_ERROR_TIMEOUT = -7,
    LIBUSB_ERROR_OVERFLOW = -8,
    LIBUSB_ERROR_PIPE = -9,
    LIBUSB_ERROR_INTERRUPTED = -10,
    LIBUSB_ERROR_NO_MEM = -11,
    LIBUSB_ERROR_NOT_SUPPORTED = -12,
    LIBUSB_ERROR_OTHER = -99
};

// libusb_set_option's option argument; passed through a variadic call, so
// only its size matters.
enum libusb_option
{
    LIBUSB_OPTION_LOG_LEVEL = 0
};

struct libusb_version
{
    const uint16_t major;
    const uint16_t minor;
    const uint16_t micro;
    const uint16_t nano;
    const char *rc;
    const char *describe;
};

struct libusb_device_descriptor
{
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint16_t bcdUSB;
    uint8_t bDeviceClass;
    uint8_t bDeviceSubClass;
    uint8_t bDeviceProtocol;
    uint8_t bMaxPacketSize0;
    uint16_t idVendor;
    uint16_t idProduct;
    uint16_t bcdDevice;
    uint8_t iManufacturer;
    uint8_t iProduct;
    uint8_t iSerialNumber;
    uint8_t bNumConfigurations;
};

struct libusb_endpoint_descriptor
{
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint8_t bEndpointAddress;
    uint8_t bmAttributes;
    uint16_t wMaxPacketSize;
    uint8_t bInterval;
    uint8_t bRefresh;
    uint8_t bSynchAddress;
    const unsigned char *extra;
    int extra_length;
};

struct libusb_interface_descriptor
{
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint8_t bInterfaceNumber;
    uint8_t bAlternateSetting;
    uint8_t bNumEndpoints;
    uint8_t bInterfaceClass;
    uint8_t bInterfaceSubClass;
    uint8_t bInterfaceProtocol;
    uint8_t iInterface;
    const struct libusb_endpoint_descriptor *endpoint;
    const unsigned char *extra;
    int extra_length;
};

struct libusb_interface
{
    const struct libusb_interface_descriptor *altsetting;
    int num_altsetting;
};

struct libusb_config_descriptor
{
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint16_t wTotalLength;
    uint8_t bNumInterfaces;
    uint8_t bConfigurationValue;
    uint8_t iConfiguration;
    uint8_t bmAttributes;
    uint8_t MaxPower;
    const struct libusb_interface *interface;
    const unsigned char *extra;
    int extra_length;
};

} // extern "C"

// A wrong layout would not fail to link, it would make dfu-util read garbage:
// pin the x86-64 sizes and the offsets dfu-util reads behind padding.
static_assert(sizeof(libusb_device_descriptor) == 18, "libusb ABI");
static_assert(sizeof(libusb_endpoint_descriptor) == 32, "libusb ABI");
static_assert(offsetof(libusb_interface_descriptor, endpoint) == 16, "libusb ABI");
static_assert(offsetof(libusb_interface_descriptor, extra_length) == 32, "libusb ABI");
static_assert(sizeof(libusb_interface_descriptor) == 40, "libusb ABI");
static_assert(sizeof(libusb_interface) == 16, "libusb ABI");
static_assert(offsetof(libusb_config_descriptor, interface) == 16, "libusb ABI");
static_assert(sizeof(libusb_config_descriptor) == 40, "libusb ABI");
static_assert(sizeof(libusb_version) == 24, "libusb ABI");

namespace usb {

// bmRequestType bits and the requests the simulator answers.
constexpr uint8_t kDirectionIn = 0x80;
constexpr uint8_t kTypeMask = 0x60;
constexpr uint8_t kTypeStandard = 0x00;
constexpr uint8_t kTypeClass = 0x20;
constexpr uint8_t kRecipientMask = 0x1f;
constexpr uint8_t kRecipientInterface = 0x01;
constexpr uint8_t kGetDescriptor = 0x06;

constexpr uint8_t kDescriptorDevice = 0x01;
constexpr uint8_t kDescriptorConfig = 0x02;
constexpr uint8_t kDescriptorString = 0x03;
constexpr uint8_t kDescriptorInterface = 0x04;
constexpr uint8_t kDescriptorDfuFunctional = 0x21;

} // namespace usb
