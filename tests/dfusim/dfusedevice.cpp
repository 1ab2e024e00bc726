#include "dfusedevice.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// USB DFU 1.1's class requests that dfu-util sends, states and statuses.
constexpr uint8_t kDetach = 0, kDnload = 1, kGetStatus = 3, kClrStatus = 4, kAbort = 6;
constexpr uint8_t kAppIdle = 0, kDfuIdle = 2, kDnloadSync = 3, kDnBusy = 4, kDnloadIdle = 5,
                  kManifestSync = 6, kManifest = 7, kDfuError = 10;
constexpr uint8_t kOk = 0x00, kErrTarget = 0x01, kErrErase = 0x04, kErrProg = 0x06,
                  kErrAddress = 0x08, kErrNotDone = 0x09, kErrUnknown = 0x0e, kErrStalledPkt = 0x0f;
// DfuSe's commands, downloaded as block 0.
constexpr uint8_t kSetAddress = 0x21, kErase = 0x41;

// String descriptors 1 to 7; the serial number is the device's own.
constexpr uint8_t kSerialIndex = 3;
const char *const kStrings[] = {
    "STMicroelectronics",
    "STM32  BOOTLOADER",
    "",
    "@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg",
    "@Option Bytes  /0x1FFFC000/01*016 e",
    "@OTP Memory /0x1FFF7800/01*512 e,01*016 e",
    "@Device Feature/0xFFFF0000/01*004 e",
};

// The DFU functional descriptors: bitCanDnload, bitCanUpload and bitWillDetach,
// 255 ms detach time-out, the transfer size, and DfuSe's DFU version 1.1a, or
// 1.1 in run-time mode.
const uint8_t kFunctional[2][9] = {{9, 0x21, 0x0b, 255, 0, 0x00, 0x08, 0x1a, 0x01},
                                   {9, 0x21, 0x0b, 255, 0, 0x00, 0x08, 0x10, 0x01}};
static_assert(DfuSeDevice::kTransferSize == 0x0800, "kFunctional's wTransferSize");

} // namespace

DfuSeDevice::DfuSeDevice(const DeviceSetup &setup, const Fault &fault, uint32_t pollMs,
                         std::vector<uint8_t> flash)
    : port(setup.port)
    , fault(fault)
    , flash(std::move(flash))
    , m_serial(setup.serial)
    , m_pollMs(pollMs)
    , m_state(setup.runtime                ? kAppIdle
              : fault.is("start-in-error") ? kDfuError
                                           : kDfuIdle)
    , m_status(m_state == kDfuError ? kErrUnknown : kOk)
{
    const uint8_t serialIndex = m_serial.empty() ? 0 : kSerialIndex;
    descriptor = {18,     1, 0x0200, 0,           0, 0, 64, setup.vendor, setup.product,
                  0x0200, 1, 2,      serialIndex, 1};
    // A run-time device has one unnamed alternate setting.
    const uint8_t alternates = setup.runtime ? 1 : 4;
    const uint8_t protocol = setup.runtime ? 1 : 2;
    for (uint8_t alt = 0; alt < alternates; ++alt) {
        const uint8_t name = setup.runtime ? 0 : uint8_t(kSerialIndex + 1 + alt);
        m_alternates[alt] = {9, 4, 0, alt, 0, 0xfe, 0x01, protocol, name, nullptr, nullptr, 0};
    }
    // The functional descriptor follows the last alternate setting, whose
    // extra bytes libusb makes it.
    m_alternates[alternates - 1].extra = kFunctional[setup.runtime];
    m_alternates[alternates - 1].extra_length = sizeof kFunctional[0];
    m_interface = {m_alternates, alternates};
    config = {9, 2, uint16_t(18 + 9 * alternates), 1, 1, 0, 0xc0, 50, &m_interface, nullptr, 0};
}

int DfuSeDevice::string(uint8_t index, uint8_t *data, uint16_t length) const
{
    std::vector<uint8_t> bytes = {0, 3};
    if (index == 0) {
        bytes.insert(bytes.end(), {0x09, 0x04}); // the one language: US English
    } else if (index <= std::size(kStrings)) {
        // Printable ASCII, so UTF-16LE is each character zero-extended.
        for (const char c : index == kSerialIndex ? m_serial : kStrings[index - 1])
            bytes.insert(bytes.end(), {uint8_t(c), 0});
    } else {
        return LIBUSB_ERROR_PIPE;
    }
    bytes[0] = uint8_t(bytes.size());
    const uint16_t count = std::min<uint16_t>(bytes.size(), length);
    std::copy_n(bytes.begin(), count, data);
    return count;
}

int DfuSeDevice::control(uint8_t request, uint16_t value, uint8_t *data, uint16_t length)
{
    switch (request) {
    case kDetach:
        if (m_state != kAppIdle)
            break;
        // It would come back in DFU mode, which is left out.
        gone = true;
        return 0;
    case kDnload:
        return download(value, data, length);
    case kGetStatus:
        return length < 6 ? stall() : status(data);
    case kClrStatus:
        if (m_state != kDfuError)
            break;
        m_state = kDfuIdle;
        m_status = kOk;
        return 0;
    case kAbort:
        if (m_state != kDfuIdle && m_state != kDnloadSync && m_state != kDnloadIdle &&
            m_state != kManifestSync)
            break;
        m_state = kDfuIdle;
        return 0;
    }
    return stall();
}

int DfuSeDevice::download(uint16_t block, const uint8_t *data, uint16_t length)
{
    if (fault.at("stall", ++m_downloads) || (m_state != kDfuIdle && m_state != kDnloadIdle))
        return stall();
    if (length == 0) {
        // DfuSe's leave request, after a command or block.
        if (m_state != kDnloadIdle)
            return stall();
        m_state = kManifestSync;
        return 0;
    }
    if (block == 0) {
        if (length != 5 || (data[0] != kSetAddress && data[0] != kErase))
            return stall();
        m_erases += data[0] == kErase;
    } else {
        if (block == 1 || length > kTransferSize)
            return stall();
        if (fault.at("vanish", ++m_blocks)) {
            gone = true;
            return LIBUSB_ERROR_NO_DEVICE;
        }
    }
    m_block = block;
    m_pending.assign(data, data + length);
    m_state = kDnloadSync;
    return length;
}

int DfuSeDevice::status(uint8_t *data)
{
    if (m_state == kDnloadSync) {
        m_state = kDnBusy;
    } else if (m_state == kDnBusy) {
        m_state = kDnloadIdle;
        carryOut();
    } else if (m_state == kManifestSync) {
        // Many STM32 parts reset before they answer.
        if (fault.is("leave-silent")) {
            gone = true;
            return LIBUSB_ERROR_NO_DEVICE;
        }
        if (fault.is("leave-error")) {
            fail(kErrNotDone);
        } else {
            // Answers, then starts the new firmware.
            m_state = kManifest;
            gone = true;
        }
    }
    const uint8_t answer[6] = {
        m_status, uint8_t(m_pollMs), uint8_t(m_pollMs >> 8), uint8_t(m_pollMs >> 16), m_state, 0};
    std::copy(std::begin(answer), std::end(answer), data);
    return 6;
}

int DfuSeDevice::stall()
{
    fail(kErrStalledPkt);
    return LIBUSB_ERROR_PIPE;
}

void DfuSeDevice::fail(uint8_t status)
{
    m_state = kDfuError;
    m_status = status;
}

void DfuSeDevice::carryOut()
{
    const bool command = m_block == 0;
    uint32_t address = m_pointer + (m_block - 2u) * kTransferSize;
    if (command)
        std::memcpy(&address, &m_pending[1], 4); // little-endian, as the host
    if (command && m_pending[0] == kSetAddress) {
        m_pointer = address;
        return;
    }
    if (command ? fault.at("erase-error", m_erases) : fault.at("block-error", m_blocks))
        return fail(command ? kErrErase : kErrProg);
    // An address below the flash wraps to an offset beyond it.
    const uint32_t offset = address - kFlashBase;
    const uint32_t length = command ? 1 : uint32_t(m_pending.size());
    if (offset >= kFlashSize || length > kFlashSize - offset)
        return fail(command ? kErrTarget : kErrAddress);
    if (command) {
        // Erases the sector that holds the address.
        const uint32_t start = offset < 0x10000   ? offset & ~0x3fffu
                               : offset < 0x20000 ? 0x10000
                                                  : offset & ~0x1ffffu;
        const uint32_t size = start < 0x10000 ? 0x4000 : start < 0x20000 ? 0x10000 : 0x20000;
        std::fill_n(flash.begin() + start, size, 0xff);
    } else {
        std::copy(m_pending.begin(), m_pending.end(), flash.begin() + offset);
    }
    flashChanged = true;
}
