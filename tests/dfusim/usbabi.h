#pragma once

// The part of libusb's public interface that dfu-util reads, with the binary
// layout of libusb 1.0.26 so that the simulated library can stand in for it.

#include <cstddef>
#include <cstdint>

extern "C" {

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

// The errors the simulated bus gives.
enum libusb_error
{
    LIBUSB_SUCCESS = 0,
    LIBUSB_ERROR_ACCESS = -3,
    LIBUSB_ERROR_NO_DEVICE = -4,
    LIBUSB_ERROR_NOT_FOUND = -5,
    LIBUSB_ERROR_PIPE = -9,
    LIBUSB_ERROR_OTHER = -99
};

struct libusb_version
{
    uint16_t major, minor, micro, nano;
    const char *rc;
    const char *describe;
};

struct libusb_device_descriptor
{
    uint8_t bLength, bDescriptorType;
    uint16_t bcdUSB;
    uint8_t bDeviceClass, bDeviceSubClass, bDeviceProtocol, bMaxPacketSize0;
    uint16_t idVendor, idProduct, bcdDevice;
    uint8_t iManufacturer, iProduct, iSerialNumber, bNumConfigurations;
};

struct libusb_interface_descriptor
{
    uint8_t bLength, bDescriptorType, bInterfaceNumber, bAlternateSetting, bNumEndpoints;
    uint8_t bInterfaceClass, bInterfaceSubClass, bInterfaceProtocol, iInterface;
    const void *endpoint; // the simulated interfaces have none
    const unsigned char *extra;
    int extra_length;
};

struct libusb_interface
{
    const libusb_interface_descriptor *altsetting;
    int num_altsetting;
};

struct libusb_config_descriptor
{
    uint8_t bLength, bDescriptorType;
    uint16_t wTotalLength;
    uint8_t bNumInterfaces, bConfigurationValue, iConfiguration, bmAttributes, MaxPower;
    const libusb_interface *interface;
    const unsigned char *extra;
    int extra_length;
};

} // extern "C"

// A wrong layout would not fail to link, it would make dfu-util read garbage:
// pin the x86-64 sizes and the offsets dfu-util reads behind padding.
static_assert(sizeof(libusb_device_descriptor) == 18, "libusb ABI");
static_assert(offsetof(libusb_interface_descriptor, endpoint) == 16, "libusb ABI");
static_assert(sizeof(libusb_interface_descriptor) == 40, "libusb ABI");
static_assert(sizeof(libusb_interface) == 16, "libusb ABI");
static_assert(offsetof(libusb_config_descriptor, interface) == 16, "libusb ABI");
static_assert(sizeof(libusb_config_descriptor) == 40, "libusb ABI");
static_assert(sizeof(libusb_version) == 24, "libusb ABI");
