// The exported face of the simulated bus: the libusb functions dfu-util calls,
// answered by the devices the scenario (scenario.h) puts on the bus.

#include "descriptors.h"
#include "dfumachine.h"
#include "flash.h"
#include "scenario.h"
#include "usbabi.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#define DFUSIM_EXPORT extern "C" __attribute__((visibility("default")))

struct libusb_context
{};

struct libusb_device
{
    libusb_device(const DeviceSetup &setup, const Scenario &scenario, const Flash &flash)
        : descriptors(setup)
        , machine(setup.runtime, scenario.fault, scenario.pollTimeoutMs, Descriptors::kTransferSize,
                  flash)
        , address(static_cast<uint8_t>(setup.port + 3)) // devnum 5 at port 2
        , port(setup.port)
    {}

    const Descriptors descriptors;
    DfuMachine machine;
    const uint8_t address;
    const uint8_t port;
};

struct libusb_device_handle
{
    libusb_device *device;
};

namespace {

constexpr uint8_t kBusNumber = 1;

// The bus of one process: built from the environment at the first
// libusb_init, kept until the process ends, when the changed flashes are
// saved.
class Bus
{
public:
    static Bus *instance();
    ~Bus();

    std::vector<libusb_device *> presentDevices() const;
    bool openDenied() const { return m_scenario.fault.is(Fault::Kind::OpenDenied); }
    void log(const libusb_device *device, uint8_t requestType, uint8_t request, uint16_t value,
             uint16_t index, const uint8_t *data, uint16_t length, int result);

private:
    bool setUp(std::string &error);
    bool loadFlash(const std::string &path, Flash &flash, std::string &error) const;
    std::string flashFile(const std::string &name) const;
    std::string flashFile(uint8_t port) const;
    void saveFlashes() const;

    Scenario m_scenario;
    std::vector<std::unique_ptr<libusb_device>> m_devices;
    FILE *m_log = nullptr;
};

std::unique_ptr<Bus> g_bus;

Bus *Bus::instance()
{
    if (!g_bus) {
        std::unique_ptr<Bus> bus(new Bus);
        std::string error;
        if (!bus->setUp(error)) {
            std::fprintf(stderr, "dfusim: %s\n", error.c_str());
            return nullptr;
        }
        g_bus = std::move(bus);
    }
    return g_bus.get();
}

bool Bus::setUp(std::string &error)
{
    if (!readScenario(m_scenario, error))
        return false;
    if (!m_scenario.log.empty()) {
        m_log = std::fopen(m_scenario.log.c_str(), "a");
        if (!m_log) {
            error = "cannot open the transfer log " + m_scenario.log;
            return false;
        }
    }
    Flash shared;
    if (!loadFlash(flashFile("flash.bin"), shared, error))
        return false;
    for (const DeviceSetup &setup : m_scenario.devices) {
        Flash flash = shared;
        if (!loadFlash(flashFile(setup.port), flash, error))
            return false;
        m_devices.push_back(std::make_unique<libusb_device>(setup, m_scenario, flash));
    }
    return true;
}

// Keeps flash as it is when there is no such file.
bool Bus::loadFlash(const std::string &path, Flash &flash, std::string &error) const
{
    if (path.empty() || access(path.c_str(), F_OK) != 0 || flash.load(path))
        return true;
    error = "cannot load the flash from " + path;
    return false;
}

std::string Bus::flashFile(const std::string &name) const
{
    return m_scenario.flashDir.empty() ? std::string() : m_scenario.flashDir + "/" + name;
}

// Named by the device's path as dfu-util prints it: bus, then port.
std::string Bus::flashFile(uint8_t port) const
{
    return flashFile("flash-" + std::to_string(kBusNumber) + "-" + std::to_string(port) + ".bin");
}

Bus::~Bus()
{
    saveFlashes();
    if (m_log)
        std::fclose(m_log);
}

void Bus::saveFlashes() const
{
    for (const auto &device : m_devices) {
        const std::string path = flashFile(device->port);
        if (device->machine.flashChanged() && !path.empty() && !device->machine.flash().save(path))
            std::fprintf(stderr, "dfusim: cannot save the flash to %s\n", path.c_str());
    }
}

std::vector<libusb_device *> Bus::presentDevices() const
{
    std::vector<libusb_device *> present;
    for (const auto &device : m_devices) {
        if (!device->machine.gone())
            present.push_back(device.get());
    }
    return present;
}

const char *requestName(uint8_t requestType, uint8_t request)
{
    static const char *const dfuRequests[] = {"DETACH",    "DNLOAD",   "UPLOAD", "GETSTATUS",
                                              "CLRSTATUS", "GETSTATE", "ABORT"};
    if ((requestType & usb::kTypeMask) == usb::kTypeClass && request <= DfuMachine::Abort)
        return dfuRequests[request];
    if ((requestType & usb::kTypeMask) == usb::kTypeStandard && request == usb::kGetDescriptor)
        return "GET_DESCRIPTOR";
    return "OTHER";
}

// One line per transfer, e.g.
//   dev=5 type=0x21 req=DNLOAD value=0x0000 index=0 length=5 result=5 data=2100000008
// data (hex) is given for transfers to the device of up to 8 bytes.
void Bus::log(const libusb_device *device, uint8_t requestType, uint8_t request, uint16_t value,
              uint16_t index, const uint8_t *data, uint16_t length, int result)
{
    if (!m_log)
        return;
    std::fprintf(m_log, "dev=%u type=0x%02x req=%s value=0x%04x index=%u length=%u result=%d",
                 device->address, requestType, requestName(requestType, request), value, index,
                 length, result);
    if (!(requestType & usb::kDirectionIn) && length > 0 && length <= 8 && data) {
        std::fputs(" data=", m_log);
        for (uint16_t i = 0; i < length; ++i)
            std::fprintf(m_log, "%02x", data[i]);
    }
    std::fputc('\n', m_log);
    std::fflush(m_log);
}

int transfer(libusb_device *device, uint8_t requestType, uint8_t request, uint16_t value,
             uint16_t index, unsigned char *data, uint16_t length)
{
    if (device->machine.gone())
        return LIBUSB_ERROR_NO_DEVICE;
    if (length > 0 && !data)
        return LIBUSB_ERROR_INVALID_PARAM;
    const uint8_t type = requestType & usb::kTypeMask;
    if (type == usb::kTypeStandard && request == usb::kGetDescriptor &&
        (requestType & usb::kDirectionIn))
        return device->descriptors.get(value, data, length);
    if (type == usb::kTypeClass &&
        (requestType & usb::kRecipientMask) == usb::kRecipientInterface && index == 0)
        return device->machine.handle(request, value, data, length);
    return LIBUSB_ERROR_PIPE;
}

} // namespace

DFUSIM_EXPORT int libusb_init(libusb_context **context)
{
    if (!Bus::instance())
        return LIBUSB_ERROR_OTHER;
    if (context)
        *context = new libusb_context;
    return LIBUSB_SUCCESS;
}

DFUSIM_EXPORT void libusb_exit(libusb_context *context)
{
    delete context;
}

DFUSIM_EXPORT int libusb_set_option(libusb_context *, libusb_option, ...)
{
    return LIBUSB_SUCCESS;
}

DFUSIM_EXPORT const libusb_version *libusb_get_version(void)
{
    static const libusb_version version = {1, 0, 26, 0, "-dfusim", "simulated DfuSe bus"};
    return &version;
}

DFUSIM_EXPORT ssize_t libusb_get_device_list(libusb_context *, libusb_device ***list)
{
    Bus *bus = Bus::instance();
    if (!bus)
        return LIBUSB_ERROR_OTHER;
    const std::vector<libusb_device *> present = bus->presentDevices();
    *list = new libusb_device *[present.size() + 1];
    std::copy(present.begin(), present.end(), *list);
    (*list)[present.size()] = nullptr;
    return static_cast<ssize_t>(present.size());
}

DFUSIM_EXPORT void libusb_free_device_list(libusb_device **list, int)
{
    delete[] list;
}

// Devices live as long as the bus, so references need no counting.
DFUSIM_EXPORT libusb_device *libusb_ref_device(libusb_device *device)
{
    return device;
}

DFUSIM_EXPORT void libusb_unref_device(libusb_device *) {}

DFUSIM_EXPORT int libusb_get_device_descriptor(libusb_device *device,
                                               libusb_device_descriptor *descriptor)
{
    *descriptor = device->descriptors.device();
    return LIBUSB_SUCCESS;
}

DFUSIM_EXPORT int libusb_get_config_descriptor(libusb_device *device, uint8_t index,
                                               libusb_config_descriptor **config)
{
    if (index != 0)
        return LIBUSB_ERROR_NOT_FOUND;
    *config = const_cast<libusb_config_descriptor *>(&device->descriptors.config());
    return LIBUSB_SUCCESS;
}

DFUSIM_EXPORT void libusb_free_config_descriptor(libusb_config_descriptor *) {}

DFUSIM_EXPORT uint8_t libusb_get_bus_number(libusb_device *)
{
    return kBusNumber;
}

DFUSIM_EXPORT int libusb_get_port_numbers(libusb_device *device, uint8_t *ports, int length)
{
    if (length < 1)
        return LIBUSB_ERROR_OVERFLOW;
    ports[0] = device->port;
    return 1;
}

DFUSIM_EXPORT uint8_t libusb_get_device_address(libusb_device *device)
{
    return device->address;
}

DFUSIM_EXPORT int libusb_open(libusb_device *device, libusb_device_handle **handle)
{
    if (device->machine.gone())
        return LIBUSB_ERROR_NO_DEVICE;
    if (Bus::instance()->openDenied())
        return LIBUSB_ERROR_ACCESS;
    *handle = new libusb_device_handle{device};
    return LIBUSB_SUCCESS;
}

DFUSIM_EXPORT void libusb_close(libusb_device_handle *handle)
{
    delete handle;
}

DFUSIM_EXPORT int libusb_claim_interface(libusb_device_handle *handle, int interface)
{
    if (handle->device->machine.gone())
        return LIBUSB_ERROR_NO_DEVICE;
    return interface == 0 ? LIBUSB_SUCCESS : LIBUSB_ERROR_NOT_FOUND;
}

DFUSIM_EXPORT int libusb_release_interface(libusb_device_handle *handle, int interface)
{
    return libusb_claim_interface(handle, interface);
}

DFUSIM_EXPORT int libusb_set_interface_alt_setting(libusb_device_handle *handle, int interface,
                                                   int alternate)
{
    if (handle->device->machine.gone())
        return LIBUSB_ERROR_NO_DEVICE;
    const libusb_config_descriptor &config = handle->device->descriptors.config();
    if (interface != 0 || alternate < 0 || alternate >= config.interface[0].num_altsetting)
        return LIBUSB_ERROR_NOT_FOUND;
    return LIBUSB_SUCCESS;
}

// A reset makes the device enumerate anew, which the simulation leaves out:
// it is gone, as libusb reports when a device comes back as another one.
DFUSIM_EXPORT int libusb_reset_device(libusb_device_handle *handle)
{
    handle->device->machine.leaveBus();
    return LIBUSB_ERROR_NOT_FOUND;
}

DFUSIM_EXPORT int libusb_control_transfer(libusb_device_handle *handle, uint8_t requestType,
                                          uint8_t request, uint16_t value, uint16_t index,
                                          unsigned char *data, uint16_t length, unsigned int)
{
    const int result = transfer(handle->device, requestType, request, value, index, data, length);
    Bus::instance()->log(handle->device, requestType, request, value, index, data, length, result);
    return result;
}

DFUSIM_EXPORT const char *libusb_error_name(int error)
{
    switch (error) {
    case LIBUSB_SUCCESS:
        return "LIBUSB_SUCCESS";
    case LIBUSB_ERROR_IO:
        return "LIBUSB_ERROR_IO";
    case LIBUSB_ERROR_INVALID_PARAM:
        return "LIBUSB_ERROR_INVALID_PARAM";
    case LIBUSB_ERROR_ACCESS:
        return "LIBUSB_ERROR_ACCESS";
    case LIBUSB_ERROR_NO_DEVICE:
        return "LIBUSB_ERROR_NO_DEVICE";
    case LIBUSB_ERROR_NOT_FOUND:
        return "LIBUSB_ERROR_NOT_FOUND";
    case LIBUSB_ERROR_BUSY:
        return "LIBUSB_ERROR_BUSY";
    case LIBUSB_ERROR_TIMEOUT:
        return "LIBUSB_ERROR_TIMEOUT";
    case LIBUSB_ERROR_OVERFLOW:
        return "LIBUSB_ERROR_OVERFLOW";
    case LIBUSB_ERROR_PIPE:
        return "LIBUSB_ERROR_PIPE";
    case LIBUSB_ERROR_INTERRUPTED:
        return "LIBUSB_ERROR_INTERRUPTED";
    case LIBUSB_ERROR_NO_MEM:
        return "LIBUSB_ERROR_NO_MEM";
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return "LIBUSB_ERROR_NOT_SUPPORTED";
    case LIBUSB_ERROR_OTHER:
        return "LIBUSB_ERROR_OTHER";
    default:
        return "**UNKNOWN**";
    }
}
