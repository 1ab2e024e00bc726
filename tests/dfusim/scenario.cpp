#include "scenario.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <utility>

namespace {

constexpr unsigned long kFirstPort = 2;
// The devnum is port + 3 and must stay a USB address.
constexpr unsigned long kLastPort = 124;

std::string env(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

// The device list from the file the variable names, else from the variable.
std::string deviceList()
{
    const std::string path = env("RAVLO_DFUSIM_DEVICES_FILE");
    if (path.empty())
        return env("RAVLO_DFUSIM_DEVICES");
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

// Whole text as an unsigned number in the given base, at most max.
bool parseNumber(const std::string &text, int base, unsigned long max, unsigned long &value)
{
    if (text.empty() || text.find_first_of("+- ") != std::string::npos)
        return false;
    char *end = nullptr;
    errno = 0;
    value = std::strtoul(text.c_str(), &end, base);
    return errno == 0 && *end == '\0' && value <= max;
}

bool parseId(const std::string &text, DeviceSetup &device)
{
    const std::vector<std::string> ids = split(text, ':');
    unsigned long vendor = 0;
    unsigned long product = 0;
    if (ids.size() != 2 || !parseNumber(ids[0], 16, 0xffff, vendor) ||
        !parseNumber(ids[1], 16, 0xffff, product))
        return false;
    device.vendor = static_cast<uint16_t>(vendor);
    device.product = static_cast<uint16_t>(product);
    return true;
}

bool validSerial(const std::string &serial)
{
    // One UTF-16 code unit per character must fit a string descriptor.
    if (serial.size() > 126)
        return false;
    for (const char c : serial) {
        if (c < 0x20 || c > 0x7e)
            return false;
    }
    return true;
}

bool parseOption(const std::string &option, DeviceSetup &device, std::optional<std::string> &serial)
{
    const size_t equals = option.find('=');
    const std::string key = option.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : option.substr(equals + 1);
    if (key == "serial" && equals != std::string::npos && validSerial(value)) {
        serial = value;
        return true;
    }
    if (key == "mode" && (value == "dfu" || value == "runtime")) {
        device.runtime = value == "runtime";
        return true;
    }
    unsigned long port = 0;
    if (key == "port" && parseNumber(value, 10, kLastPort, port) && port > 0) {
        device.port = static_cast<uint8_t>(port);
        return true;
    }
    return false;
}

bool parseDevice(const std::string &text, size_t index, DeviceSetup &device)
{
    const std::vector<std::string> fields = split(text, ',');
    if (!parseId(fields[0], device) || index > kLastPort - kFirstPort)
        return false;
    device.port = static_cast<uint8_t>(kFirstPort + index);
    std::optional<std::string> serial;
    for (size_t i = 1; i < fields.size(); ++i) {
        if (!parseOption(fields[i], device, serial))
            return false;
    }
    device.serial = serial.value_or("3276386A31" + std::to_string(31 + device.port));
    return true;
}

bool parseDevices(std::string text, std::vector<DeviceSetup> &devices)
{
    std::replace(text.begin(), text.end(), '\n', ';');
    std::set<uint8_t> ports;
    for (const std::string &entry : split(text, ';')) {
        if (entry.empty())
            continue;
        DeviceSetup device;
        if (!parseDevice(entry, devices.size(), device) || !ports.insert(device.port).second)
            return false;
        devices.push_back(device);
    }
    return true;
}

bool parseFault(const std::string &text, Fault &fault)
{
    static const std::pair<const char *, Fault::Kind> kinds[] = {
        {"open-denied", Fault::Kind::OpenDenied},   {"start-in-error", Fault::Kind::StartInError},
        {"block-error", Fault::Kind::BlockError},   {"stall", Fault::Kind::Stall},
        {"erase-error", Fault::Kind::EraseError},   {"vanish", Fault::Kind::Vanish},
        {"leave-silent", Fault::Kind::LeaveSilent}, {"leave-error", Fault::Kind::LeaveError},
    };
    if (text.empty())
        return true;
    const size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    unsigned long n = 1;
    if (colon != std::string::npos &&
        (!parseNumber(text.substr(colon + 1), 10, 1000000, n) || n == 0))
        return false;
    for (const auto &kind : kinds) {
        if (name == kind.first) {
            fault.kind = kind.second;
            fault.n = static_cast<int>(n);
            return true;
        }
    }
    return false;
}

} // namespace

bool readScenario(Scenario &scenario, std::string &error)
{
    if (!parseDevices(deviceList(), scenario.devices)) {
        error = "malformed RAVLO_DFUSIM_DEVICES";
        return false;
    }
    if (!parseFault(env("RAVLO_DFUSIM_FAULT"), scenario.fault)) {
        error = "malformed RAVLO_DFUSIM_FAULT";
        return false;
    }
    const std::string poll = env("RAVLO_DFUSIM_POLL_MS");
    unsigned long pollMs = 0;
    if (!poll.empty() && !parseNumber(poll, 10, 0xffffff, pollMs)) {
        error = "malformed RAVLO_DFUSIM_POLL_MS";
        return false;
    }
    scenario.pollTimeoutMs = static_cast<uint32_t>(pollMs);
    scenario.flashDir = env("RAVLO_DFUSIM_FLASH_DIR");
    scenario.log = env("RAVLO_DFUSIM_LOG");
    return true;
}
