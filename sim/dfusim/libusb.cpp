// The simulated bus: the 22 libusb functions dfu-util calls, answered by
// simulated STM32 DfuSe ROM bootloaders that the environment puts there:
//
//   RAVLO_DFUSIM_DEVICES       the devices, separated by ';' or line breaks: VID:PID
//                              (hex), device i at port 2+i with devnum 5+i; or
//                              VID:PID@PORT/DEVNUM, a device plugged into that port of
//                              the root hub with the bus address this attach gave it.
//                              A device at port P has path "1-P" and serial
//                              3276386A31<31+P>
//   RAVLO_DFUSIM_DEVICES_FILE  a file holding the devices instead (missing: none)
//   RAVLO_DFUSIM_FLASH_DIR     a device at path P starts from flash-P.bin there, else
//                              from flash.bin, else from zeros; at exit each changed
//                              flash is saved to its flash-P.bin
//   RAVLO_DFUSIM_POLL_MS       bwPollTimeout of every status answer
//   RAVLO_DFUSIM_FAULT         one of (N counts from 1, default 1):
//                                open-denied:N   opening the device at port N+1 is refused
//                                block-error:N   data block N fails to program
//                                stall:N         download request N is stalled
//                                erase-error:N   erase N fails
//                                vanish:N        the device is gone at data block N written
//                                vanish-reading:N  ... at data block N read
//                                leave-silent    no status answer after leave
//                                keeps-nothing   every erase and block is acknowledged,
//                                                and the flash stays as it was
//                                read-protected  uploads are refused (stalled, then
//                                                dfuERROR/errVENDOR), as by an STM32
//                                                ROM bootloader with read protection
//
// The devices answer what dfu-util 0.11 asks when it lists them, writes a raw
// image with "-s ADDRESS:force[:leave]", reads one back with
// "-s ADDRESS:LENGTH -U" and leaves with "-s ADDRESS:leave"; other requests
// are stalled.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

// The part of libusb's ABI (1.0.26, x86-64) that dfu-util reads through
// pointers. A descriptor begins with its bytes as sent on the wire, which
// libusb's fields mirror on a little-endian host.
extern "C" {
struct libusb_context;

struct libusb_interface_descriptor
{
    uint8_t wire[9];
    const void *endpoint; // the simulated interfaces have none
    const uint8_t *extra;
    int extra_length;
};

struct libusb_interface
{
    const libusb_interface_descriptor *altsetting;
    int num_altsetting;
};

struct libusb_config_descriptor
{
    uint8_t wire[9];
    const libusb_interface *interface;
    const uint8_t *extra;
    int extra_length;
};
} // extern "C"

// A wrong layout would not fail to link, it would make dfu-util read garbage.
static_assert(offsetof(libusb_interface_descriptor, endpoint) == 16 &&
                  offsetof(libusb_config_descriptor, interface) == 16 &&
                  sizeof(libusb_config_descriptor) == 40 &&
                  sizeof(libusb_interface_descriptor) == 40,
              "libusb ABI");

namespace {

constexpr int LIBUSB_ERROR_ACCESS = -3, LIBUSB_ERROR_NO_DEVICE = -4, LIBUSB_ERROR_PIPE = -9,
              LIBUSB_ERROR_OTHER = -99;

// USB DFU 1.1's requests, states and statuses that the devices use.
constexpr uint8_t kDnload = 1, kUpload = 2, kGetStatus = 3, kClrStatus = 4, kAbort = 6;
constexpr uint8_t kDfuIdle = 2, kDnloadSync = 3, kDnBusy = 4, kDnloadIdle = 5, kManifestSync = 6,
                  kManifest = 7, kDfuError = 10;
constexpr uint8_t kOk = 0x00, kErrErase = 0x04, kErrProg = 0x06, kErrAddress = 0x08,
                  kErrVendor = 0x0b;
// DfuSe's set-address command, downloaded as block 0 (the other one is erase).
constexpr uint8_t kSetAddress = 0x21;

// The flash alt setting 0 announces: 1 MiB at 0x08000000 in sectors of
// 4 x 16 KiB, 1 x 64 KiB and 7 x 128 KiB.
constexpr uint32_t kFlashBase = 0x08000000, kFlashSize = 1024 * 1024;
// wTransferSize of the functional descriptor: an upload block's address is
// the pointer plus (block - 2) times this.
constexpr uint32_t kTransferSize = 2048;

// The string descriptors' UTF-16 text: string 0 lists US English, and the
// serial number (3) is each device's own.
constexpr uint8_t kSerialIndex = 3;
const char16_t *const kStrings[] = {
    u"\u0409",
    u"STMicroelectronics",
    u"STM32  BOOTLOADER",
    u"",
    u"@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg",
    u"@Option Bytes  /0x1FFFC000/01*016 e",
    u"@OTP Memory /0x1FFF7800/01*512 e,01*016 e",
    u"@Device Feature/0xFFFF0000/01*004 e",
};

// The DFU functional descriptor: can download, upload and detach, 255 ms
// detach time-out, kTransferSize bytes a transfer, DfuSe's DFU version 1.1a. It
// follows the last alternate setting, whose extra bytes libusb makes it.
const uint8_t kFunctional[9] = {
    9, 0x21, 0x0b, 255, 0, uint8_t(kTransferSize), uint8_t(kTransferSize >> 8), 0x1a, 0x01};
// Interface 0's alternate settings: the four memories, named by strings 4 to 7.
const libusb_interface_descriptor kAlternates[] = {
    {{9, 4, 0, 0, 0, 0xfe, 0x01, 2, 4}, nullptr, nullptr, 0},
    {{9, 4, 0, 1, 0, 0xfe, 0x01, 2, 5}, nullptr, nullptr, 0},
    {{9, 4, 0, 2, 0, 0xfe, 0x01, 2, 6}, nullptr, nullptr, 0},
    {{9, 4, 0, 3, 0, 0xfe, 0x01, 2, 7}, nullptr, kFunctional, 9},
};
const libusb_interface kInterface = {kAlternates, 4};
// Configuration 1, self-powered, 100 mA; its total length counts the functional descriptor.
const libusb_config_descriptor kConfig = {
    {9, 2, 9 + 4 * 9 + 9, 0, 1, 1, 0, 0xc0, 50}, &kInterface, nullptr, 0};

const char *const kFaults[] = {
    "",       "open-denied",  "block-error",   "stall",          "erase-error",
    "vanish", "leave-silent", "keeps-nothing", "read-protected", "vanish-reading"};

// RAVLO_DFUSIM_FAULT: its name and the count of the request it hits.
struct Fault
{
    std::string name;
    int n = 1;
    bool is(const char *kind) const { return name == kind; }
};

std::vector<std::string> split(const std::string &text, const char *separators)
{
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (std::strchr(separators, c))
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

// One simulated DfuSe bootloader: its device descriptor, its DFU state
// machine and its flash.
class Device
{
public:
    // Throws std::invalid_argument on a malformed VID:PID.
    Device(const std::string &vidPid, int port, int devnum, const Fault &fault, uint32_t pollMs)
        : port(port)
        , devnum(devnum)
        , fault(fault)
        , m_serial("3276386A31" + std::to_string(31 + port))
        , m_pollMs(pollMs)
    {
        uint16_t ids[2] = {0, 0};
        if (std::sscanf(vidPid.c_str(), "%4hx:%4hx", &ids[0], &ids[1]) != 2)
            throw std::invalid_argument(vidPid);
        std::memcpy(descriptor + 8, ids, sizeof ids); // little-endian, as the host
    }

    // GET_DESCRIPTOR of a string, in UTF-16LE.
    int string(uint8_t index, uint8_t *data, uint16_t length) const
    {
        std::u16string text = kStrings[index];
        if (index == kSerialIndex) // printable ASCII: each character zero-extended
            text.assign(m_serial.begin(), m_serial.end());
        std::vector<uint8_t> bytes = {uint8_t(2 + 2 * text.size()), 3};
        for (const char16_t c : text)
            bytes.insert(bytes.end(), {uint8_t(c), uint8_t(c >> 8)});
        const uint16_t count = std::min<uint16_t>(bytes.size(), length);
        std::copy_n(bytes.begin(), count, data);
        return count;
    }

    // A DFU class request: the bytes transferred or a libusb error.
    int control(uint8_t request, uint16_t block, uint8_t *data, uint16_t length)
    {
        switch (request) {
        case kDnload:
            return download(block, data, length);
        case kUpload:
            return upload(block, data, length);
        case kGetStatus:
            return status(data);
        case kClrStatus:
        case kAbort:
            // dfu-util clears a dfuERROR, and aborts when a download went well.
            m_state = kDfuIdle;
            m_status = kOk;
            return 0;
        }
        return LIBUSB_ERROR_PIPE;
    }

    uint8_t descriptor[18] = {18, 1, 0x00, 0x02, 0, 0, 0, 64, 0, 0, 0, 0, 0x00, 0x02, 1, 2, 3, 1};
    const int port;   // on the root hub of bus 1
    const int devnum; // the bus address
    const Fault fault;
    std::string flashPath; // none without a flash folder
    std::vector<uint8_t> flash;
    bool flashChanged = false;

private:
    // A download is carried out at once, but its outcome is told only by the
    // status answer after the one that reports dfuDNBUSY.
    int download(uint16_t block, const uint8_t *data, uint16_t length)
    {
        if (hits("stall"))
            return LIBUSB_ERROR_PIPE;
        if (length == 0) { // DfuSe's leave request
            m_state = kManifestSync;
            return 0;
        }
        if (block != 0 && hits("vanish"))
            return LIBUSB_ERROR_NO_DEVICE;
        m_state = kDnloadSync;
        m_outcome = carryOut(block == 0, data, length);
        return length;
    }

    // Reads block (2, 3, ...) of wTransferSize bytes from the address pointer.
    int upload(uint16_t block, uint8_t *data, uint16_t length)
    {
        if (fault.is("read-protected")) {
            m_state = kDfuError;
            m_status = kErrVendor;
            return LIBUSB_ERROR_PIPE;
        }
        if (hits("vanish-reading"))
            return LIBUSB_ERROR_NO_DEVICE;
        if (block < 2) // block 0 lists the commands: dfu-util never asks
            return LIBUSB_ERROR_PIPE;
        const uint64_t offset =
            uint64_t(m_pointer - kFlashBase) + uint64_t(block - 2) * kTransferSize;
        if (offset >= kFlashSize)
            return LIBUSB_ERROR_PIPE;
        const uint32_t count = std::min<uint64_t>(length, kFlashSize - offset);
        std::copy_n(flash.begin() + offset, count, data);
        return int(count);
    }

    int status(uint8_t *data)
    {
        if (m_state == kDnloadSync) {
            m_state = kDnBusy;
        } else if (m_state == kDnBusy) {
            m_state = m_outcome == kOk ? kDnloadIdle : kDfuError;
            m_status = m_outcome;
        } else if (m_state == kManifestSync) {
            // Many STM32 parts reset before they answer.
            if (fault.is("leave-silent"))
                return LIBUSB_ERROR_NO_DEVICE;
            m_state = kManifest;
        }
        const uint8_t answer[6] = {
            m_status, uint8_t(m_pollMs), uint8_t(m_pollMs >> 8), uint8_t(m_pollMs >> 16), m_state,
            0};
        std::copy(std::begin(answer), std::end(answer), data);
        return 6;
    }

    // Whether this request of a kind is the one that the fault hits.
    bool hits(const char *kind) { return fault.is(kind) && ++m_count == fault.n; }

    // Sets the address pointer, erases the sector that holds an address or
    // programs a block at the pointer; the status that ends it.
    uint8_t carryOut(bool command, const uint8_t *data, uint32_t length)
    {
        uint32_t address = m_pointer;
        if (command)
            std::memcpy(&address, data + 1, 4); // little-endian, as the host
        if (command && data[0] == kSetAddress) {
            m_pointer = address;
            return kOk;
        }
        if (hits(command ? "erase-error" : "block-error"))
            return command ? kErrErase : kErrProg;
        if (fault.is("keeps-nothing"))
            return kOk;
        // An address below the flash wraps to an offset beyond it.
        uint32_t offset = address - kFlashBase;
        if (command) {
            length = offset < 0x10000 ? 0x4000 : offset < 0x20000 ? 0x10000 : 0x20000;
            offset &= ~(length - 1);
        }
        if (offset >= kFlashSize || length > kFlashSize - offset)
            return kErrAddress;
        if (command)
            std::fill_n(flash.begin() + offset, length, 0xff);
        else
            std::copy_n(data, length, flash.begin() + offset);
        flashChanged = true;
        return kOk;
    }

    const std::string m_serial;
    const uint32_t m_pollMs;
    uint8_t m_state = kDfuIdle;
    uint8_t m_status = kOk;
    uint8_t m_outcome = kOk; // of the last download
    uint32_t m_pointer = 0;
    int m_count = 0; // of the requests that the fault counts
};

std::string env(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

// None without a flash folder.
std::string flashFile(const std::string &name)
{
    const std::string folder = env("RAVLO_DFUSIM_FLASH_DIR");
    return folder.empty() ? "" : folder + "/" + name;
}

// The file's bytes, the rest erased; fallback when there is no such file.
std::vector<uint8_t> loadFlash(const std::string &path, const std::vector<uint8_t> &fallback)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return fallback;
    std::vector<uint8_t> flash(kFlashSize, 0xff);
    file.read(reinterpret_cast<char *>(flash.data()), flash.size());
    return flash;
}

// Through a file beside it, so that another process reads the old flash or
// the new, never half of it.
void saveFlash(const std::string &path, const std::vector<uint8_t> &flash)
{
    const std::string part = path + "." + std::to_string(getpid());
    std::ofstream file(part, std::ios::binary);
    file.write(reinterpret_cast<const char *>(flash.data()), flash.size());
    file.close();
    if (!file || std::rename(part.c_str(), path.c_str()) != 0) {
        std::remove(part.c_str());
        std::fprintf(stderr, "dfusim: cannot save the flash to %s\n", path.c_str());
    }
}

// The bus of one process, set up from the environment at the first
// libusb_init; at exit it saves each flash that changed.
struct Bus
{
    Bus()
    {
        try {
            std::string text = env("RAVLO_DFUSIM_DEVICES");
            if (!env("RAVLO_DFUSIM_DEVICES_FILE").empty()) {
                std::ifstream file(env("RAVLO_DFUSIM_DEVICES_FILE"));
                text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
            }
            const std::vector<std::string> parts = split(env("RAVLO_DFUSIM_FAULT"), ":");
            const Fault fault{parts[0], parts.size() > 1 ? std::stoi(parts[1]) : 1};
            if (std::find(std::begin(kFaults), std::end(kFaults), fault.name) == std::end(kFaults))
                throw std::invalid_argument(fault.name);
            const std::string poll = env("RAVLO_DFUSIM_POLL_MS");
            const uint32_t pollMs = poll.empty() ? 0 : std::stoul(poll);
            const std::vector<uint8_t> shared =
                loadFlash(flashFile("flash.bin"), std::vector<uint8_t>(kFlashSize, 0));
            for (const std::string &entry : split(text, ";\n")) {
                if (entry.empty())
                    continue;
                const std::vector<std::string> at = split(entry, "@");
                int port = int(2 + devices.size());
                int devnum = port + 3;
                if (at.size() > 1) {
                    const std::vector<std::string> place = split(at[1], "/");
                    port = std::stoi(place.at(0));
                    devnum = std::stoi(place.at(1));
                }
                if (port < 1 || port > 255 || devnum < 1 || devnum > 127)
                    throw std::invalid_argument(entry);
                Device *device = new Device(at[0], port, devnum, fault, pollMs);
                device->flashPath = flashFile("flash-1-" + std::to_string(device->port) + ".bin");
                device->flash = loadFlash(device->flashPath, shared);
                devices.push_back(device);
            }
        } catch (const std::logic_error &) {
            std::fprintf(stderr, "dfusim: malformed RAVLO_DFUSIM_DEVICES, _FAULT or _POLL_MS\n");
            malformed = true;
        }
    }

    ~Bus()
    {
        for (Device *device : devices) {
            if (device->flashChanged && !device->flashPath.empty())
                saveFlash(device->flashPath, device->flash);
            delete device;
        }
    }

    std::vector<Device *> devices; // owned
    bool malformed = false;
};

Bus &bus()
{
    static Bus instance;
    return instance;
}

} // namespace

// A handle is the device itself: the devices keep nothing per opening.
using libusb_device = Device;
using libusb_device_handle = Device;

// The 22 functions dfu-util links; exports.map keeps every other name inside.
// dfu-util claims interface 0, sets the alternate setting it was given and
// resets only a device that it detached, which none is: those succeed.
extern "C" {

int libusb_init(libusb_context **context)
{
    *context = nullptr; // libusb's default context
    return bus().malformed ? LIBUSB_ERROR_OTHER : 0;
}

void libusb_exit(libusb_context *) {}

int libusb_set_option(libusb_context *, int, ...)
{
    return 0;
}

const void *libusb_get_version(void) // printed only with -v
{
    return nullptr;
}

// dfu-util goes by the count, not by a null at the end of the list.
ssize_t libusb_get_device_list(libusb_context *, libusb_device ***list)
{
    *list = bus().devices.data();
    return ssize_t(bus().devices.size());
}

void libusb_free_device_list(libusb_device **, int) {}

libusb_device *libusb_ref_device(libusb_device *device)
{
    return device;
}

void libusb_unref_device(libusb_device *) {}

int libusb_get_device_descriptor(libusb_device *device, void *descriptor)
{
    std::memcpy(descriptor, device->descriptor, sizeof device->descriptor);
    return 0;
}

int libusb_get_config_descriptor(libusb_device *, uint8_t, const libusb_config_descriptor **config)
{
    *config = &kConfig;
    return 0;
}

void libusb_free_config_descriptor(const libusb_config_descriptor *) {}

uint8_t libusb_get_bus_number(libusb_device *)
{
    return 1;
}

int libusb_get_port_numbers(libusb_device *device, uint8_t *ports, int)
{
    ports[0] = uint8_t(device->port);
    return 1;
}

uint8_t libusb_get_device_address(libusb_device *device)
{
    return uint8_t(device->devnum);
}

int libusb_open(libusb_device *device, libusb_device_handle **handle)
{
    if (device->fault.is("open-denied") && device->port - 1 == device->fault.n)
        return LIBUSB_ERROR_ACCESS;
    *handle = device;
    return 0;
}

void libusb_close(libusb_device_handle *) {}

int libusb_claim_interface(libusb_device_handle *, int)
{
    return 0;
}

int libusb_release_interface(libusb_device_handle *, int)
{
    return 0;
}

int libusb_set_interface_alt_setting(libusb_device_handle *, int, int)
{
    return 0;
}

int libusb_reset_device(libusb_device_handle *)
{
    return 0;
}

// String descriptors (GET_DESCRIPTOR) and DFU class requests to interface 0.
int libusb_control_transfer(libusb_device_handle *device, uint8_t requestType, uint8_t request,
                            uint16_t value, uint16_t, unsigned char *data, uint16_t length,
                            unsigned int)
{
    if (requestType == 0x80 && request == 0x06)
        return device->string(uint8_t(value), data, length);
    return device->control(request, value, data, length);
}

const char *libusb_error_name(int error)
{
    return error == LIBUSB_ERROR_ACCESS      ? "LIBUSB_ERROR_ACCESS"
           : error == LIBUSB_ERROR_NO_DEVICE ? "LIBUSB_ERROR_NO_DEVICE"
           : error == LIBUSB_ERROR_PIPE      ? "LIBUSB_ERROR_PIPE"
                                             : "LIBUSB_ERROR_OTHER";
}

} // extern "C"
