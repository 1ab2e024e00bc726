// The simulated bus: the libusb functions dfu-util calls, answered by the DfuSe
// devices (dfusedevice.h) that the environment of its process puts there:
//
//   RAVLO_DFUSIM_DEVICES       devices separated by ';' or line breaks: VID:PID (hex)
//                              with options ",port=N" (hub port 1 to 124, one device
//                              each: path "1-N", devnum N + 3; default 2 for the first
//                              device, 3 for the next...), ",serial=TEXT" (printable
//                              ASCII, empty for none; default 3276386A31<31 + port>),
//                              ",mode=runtime" (a device in DFU run-time mode)
//   RAVLO_DFUSIM_DEVICES_FILE  a file holding the devices instead (missing: none)
//   RAVLO_DFUSIM_FLASH_DIR     a device at path P starts from flash-P.bin there, else
//                              from flash.bin, else from zeros; at exit each changed
//                              flash is saved to its flash-P.bin
//   RAVLO_DFUSIM_POLL_MS       bwPollTimeout of every status answer
//   RAVLO_DFUSIM_FAULT         one of (N counts from 1, default 1):
//                                open-denied     opening a device is refused
//                                start-in-error  devices start in dfuERROR
//                                block-error:N   data block N fails to program
//                                stall:N         download request N is stalled
//                                erase-error:N   erase N fails
//                                vanish:N        the device is gone from data block N on
//                                leave-silent    no status answer after leave
//                                leave-error     leave answered with dfuERROR

#include "dfusedevice.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <unistd.h>
#include <utility>

struct libusb_device : DfuSeDevice
{
    using DfuSeDevice::DfuSeDevice;
};

struct libusb_device_handle
{
    libusb_device *device;
};

namespace {

constexpr long kFirstPort = 2;
constexpr long kLastPort = 124; // devnum port + 3 stays a USB address
const char *const kFaults[] = {"open-denied", "start-in-error", "block-error",  "stall",
                               "erase-error", "vanish",         "leave-silent", "leave-error"};

std::string env(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

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

// The whole of text as a number up to max, else -1.
long number(const std::string &text, int base, long max)
{
    char *end = nullptr;
    const long value = std::strtol(text.c_str(), &end, base);
    return !text.empty() && *end == '\0' && value >= 0 && value <= max ? value : -1;
}

// One entry of the device list, at the given port unless it names one.
bool parseDevice(const std::string &entry, long port, DeviceSetup &device)
{
    const std::vector<std::string> fields = split(entry, ",");
    unsigned vendor = 0, product = 0;
    char rest = 0;
    if (std::sscanf(fields[0].c_str(), "%4x:%4x%c", &vendor, &product, &rest) != 2)
        return false;
    for (size_t i = 1; i < fields.size(); ++i) {
        if (fields[i].rfind("serial=", 0) == 0)
            device.serial = fields[i].substr(7);
        else if (fields[i].rfind("port=", 0) == 0)
            port = number(fields[i].substr(5), 10, kLastPort);
        else if (fields[i] == "mode=runtime")
            device.runtime = true;
        else
            return false;
    }
    if (entry.find(",serial=") == std::string::npos)
        device.serial = "3276386A31" + std::to_string(31 + port);
    device.vendor = uint16_t(vendor);
    device.product = uint16_t(product);
    device.port = uint8_t(port);
    return port >= 1 && port <= kLastPort;
}

bool parseDevices(const std::string &text, std::vector<DeviceSetup> &devices)
{
    for (const std::string &entry : split(text, ";\n")) {
        DeviceSetup device;
        if (entry.empty())
            continue;
        if (!parseDevice(entry, kFirstPort + long(devices.size()), device) ||
            std::any_of(devices.begin(), devices.end(),
                        [&](const DeviceSetup &other) { return other.port == device.port; }))
            return false;
        devices.push_back(device);
    }
    return true;
}

bool parseFault(const std::string &text, Fault &fault)
{
    const std::vector<std::string> parts = split(text, ":");
    fault.name = parts[0];
    fault.n = parts.size() == 2 ? int(number(parts[1], 10, 1000000)) : 1;
    const bool known = std::count(std::begin(kFaults), std::end(kFaults), fault.name) > 0;
    return text.empty() || (known && parts.size() <= 2 && fault.n > 0);
}

// Keeps flash as it is when there is no such file (or no name); a shorter
// file leaves the rest erased.
bool loadFlash(const std::string &path, std::vector<uint8_t> &flash)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return errno == ENOENT;
    std::vector<uint8_t> bytes(DfuSeDevice::kFlashSize, 0xff);
    std::fread(bytes.data(), 1, bytes.size(), file);
    const bool read = !std::ferror(file) && std::fgetc(file) == EOF;
    std::fclose(file);
    if (read)
        flash.swap(bytes);
    return read;
}

// Through a file beside it, so that another process reads the old flash or
// the new, never half of it.
bool saveFlash(const std::string &path, const std::vector<uint8_t> &flash)
{
    const std::string part = path + "." + std::to_string(getpid());
    FILE *file = std::fopen(part.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(flash.data(), 1, flash.size(), file) == flash.size();
    if (std::fclose(file) == 0 && written && std::rename(part.c_str(), path.c_str()) == 0)
        return true;
    std::remove(part.c_str());
    return false;
}

// The bus of one process, set up from the environment at the first
// libusb_init; at exit it saves each flash that changed.
struct Bus
{
    Bus()
    {
        problem = setUp();
        if (problem)
            std::fprintf(stderr, "dfusim: %s\n", problem);
    }

    ~Bus()
    {
        for (const auto &device : devices) {
            const std::string path = flashFile(device->port);
            if (device->flashChanged && !path.empty() && !saveFlash(path, device->flash))
                std::fprintf(stderr, "dfusim: cannot save the flash to %s\n", path.c_str());
        }
    }

    // What is wrong with the environment, if anything.
    const char *setUp()
    {
        std::string list = env("RAVLO_DFUSIM_DEVICES");
        if (!env("RAVLO_DFUSIM_DEVICES_FILE").empty()) {
            std::ifstream file(env("RAVLO_DFUSIM_DEVICES_FILE"));
            list.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        }
        std::vector<DeviceSetup> setups;
        Fault fault;
        const std::string poll = env("RAVLO_DFUSIM_POLL_MS");
        const long pollMs = poll.empty() ? 0 : number(poll, 10, 0xffffff);
        if (!parseDevices(list, setups) || !parseFault(env("RAVLO_DFUSIM_FAULT"), fault) ||
            pollMs < 0)
            return "malformed RAVLO_DFUSIM_DEVICES, _FAULT or _POLL_MS";
        std::vector<uint8_t> shared(DfuSeDevice::kFlashSize, 0);
        if (!loadFlash(flashFile("flash.bin"), shared))
            return "cannot load flash.bin";
        for (const DeviceSetup &setup : setups) {
            std::vector<uint8_t> flash = shared;
            if (!loadFlash(flashFile(setup.port), flash))
                return "cannot load a device's flash";
            devices.push_back(std::make_unique<libusb_device>(setup, fault, pollMs, flash));
        }
        return nullptr;
    }

    // None without a flash folder.
    std::string flashFile(const std::string &name) const
    {
        return flashDir.empty() ? "" : flashDir + "/" + name;
    }
    // Named by the device's path as dfu-util prints it: bus 1, then port.
    std::string flashFile(uint8_t port) const
    {
        return flashFile("flash-1-" + std::to_string(port) + ".bin");
    }

    const std::string flashDir = env("RAVLO_DFUSIM_FLASH_DIR");
    std::vector<std::unique_ptr<libusb_device>> devices;
    const char *problem = nullptr;
};

Bus &bus()
{
    static Bus instance;
    return instance;
}

} // namespace

// The 22 functions dfu-util links; exports.map keeps every other name inside.
extern "C" {

int libusb_init(libusb_context **context)
{
    if (context)
        *context = nullptr; // libusb's default context
    return bus().problem ? LIBUSB_ERROR_OTHER : LIBUSB_SUCCESS;
}

void libusb_exit(libusb_context *) {}

int libusb_set_option(libusb_context *, int, ...)
{
    return LIBUSB_SUCCESS;
}

const libusb_version *libusb_get_version(void)
{
    static const libusb_version version = {1, 0, 26, 0, "-dfusim", "simulated DfuSe bus"};
    return &version;
}

ssize_t libusb_get_device_list(libusb_context *, libusb_device ***list)
{
    std::vector<libusb_device *> present;
    for (const auto &device : bus().devices) {
        if (!device->gone)
            present.push_back(device.get());
    }
    present.push_back(nullptr); // ends the list
    *list = new libusb_device *[present.size()];
    std::copy(present.begin(), present.end(), *list);
    return ssize_t(present.size() - 1);
}

void libusb_free_device_list(libusb_device **list, int)
{
    delete[] list;
}

// Devices live as long as the bus, so references need no counting.
libusb_device *libusb_ref_device(libusb_device *device)
{
    return device;
}

void libusb_unref_device(libusb_device *) {}

int libusb_get_device_descriptor(libusb_device *device, libusb_device_descriptor *descriptor)
{
    *descriptor = device->descriptor;
    return LIBUSB_SUCCESS;
}

int libusb_get_config_descriptor(libusb_device *device, uint8_t, libusb_config_descriptor **config)
{
    *config = &device->config;
    return LIBUSB_SUCCESS;
}

void libusb_free_config_descriptor(libusb_config_descriptor *) {}

uint8_t libusb_get_bus_number(libusb_device *)
{
    return 1;
}

int libusb_get_port_numbers(libusb_device *device, uint8_t *ports, int)
{
    ports[0] = device->port;
    return 1;
}

uint8_t libusb_get_device_address(libusb_device *device)
{
    return uint8_t(device->port + 3); // devnum 5 at port 2
}

int libusb_open(libusb_device *device, libusb_device_handle **handle)
{
    if (device->gone)
        return LIBUSB_ERROR_NO_DEVICE;
    if (device->fault.is("open-denied"))
        return LIBUSB_ERROR_ACCESS;
    *handle = new libusb_device_handle{device};
    return LIBUSB_SUCCESS;
}

void libusb_close(libusb_device_handle *handle)
{
    delete handle;
}

int libusb_set_interface_alt_setting(libusb_device_handle *handle, int interface, int alternate)
{
    if (handle->device->gone)
        return LIBUSB_ERROR_NO_DEVICE;
    const bool exists = interface == 0 && alternate >= 0 &&
                        alternate < handle->device->config.interface->num_altsetting;
    return exists ? LIBUSB_SUCCESS : LIBUSB_ERROR_NOT_FOUND;
}

int libusb_claim_interface(libusb_device_handle *handle, int interface)
{
    return libusb_set_interface_alt_setting(handle, interface, 0);
}

int libusb_release_interface(libusb_device_handle *handle, int interface)
{
    return libusb_set_interface_alt_setting(handle, interface, 0);
}

// The device would enumerate anew, as another one: this one is gone.
int libusb_reset_device(libusb_device_handle *handle)
{
    handle->device->gone = true;
    return LIBUSB_ERROR_NOT_FOUND;
}

int libusb_control_transfer(libusb_device_handle *handle, uint8_t requestType, uint8_t request,
                            uint16_t value, uint16_t index, unsigned char *data, uint16_t length,
                            unsigned int)
{
    libusb_device *device = handle->device;
    if (device->gone)
        return LIBUSB_ERROR_NO_DEVICE;
    // GET_DESCRIPTOR of a string, and class requests to the DFU interface.
    if (requestType == 0x80 && request == 0x06 && value >> 8 == 0x03)
        return device->string(uint8_t(value), data, length);
    if ((requestType & 0x7f) == 0x21 && index == 0)
        return device->control(request, value, data, length);
    return LIBUSB_ERROR_PIPE;
}

const char *libusb_error_name(int error)
{
    static const std::pair<int, const char *> names[] = {
        {LIBUSB_ERROR_ACCESS, "LIBUSB_ERROR_ACCESS"},
        {LIBUSB_ERROR_NO_DEVICE, "LIBUSB_ERROR_NO_DEVICE"},
        {LIBUSB_ERROR_NOT_FOUND, "LIBUSB_ERROR_NOT_FOUND"},
        {LIBUSB_ERROR_PIPE, "LIBUSB_ERROR_PIPE"},
        {LIBUSB_ERROR_OTHER, "LIBUSB_ERROR_OTHER"},
    };
    for (const auto &name : names) {
        if (name.first == error)
            return name.second;
    }
    return "**UNKNOWN**";
}

} // extern "C"
