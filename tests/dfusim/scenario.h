#pragma once

// What the simulated bus holds and how it misbehaves, read from the
// environment of the process that loads the simulated library:
//
//   RAVLO_DFUSIM_DEVICES     devices on the bus, separated by ';'. Each is
//                            VID:PID (hex) followed by ",key=value" options:
//                              serial=TEXT   serial number string (printable
//                                            ASCII without ',' or ';'; empty
//                                            for a device without one;
//                                            default 3276386A3133, ...3134, ...)
//                              mode=runtime  a device in run-time mode instead
//                                            of the DfuSe bootloader
//                            Unset or empty: no device.
//   RAVLO_DFUSIM_FLASH_IN    file the flash contents are loaded from (a
//                            missing file keeps the built-in old firmware)
//   RAVLO_DFUSIM_FLASH_OUT   file the flash is saved to when the process ends
//                            (the first device whose flash changed, else the
//                            first device); may be the same as FLASH_IN
//   RAVLO_DFUSIM_LOG         file every control transfer is appended to
//   RAVLO_DFUSIM_POLL_MS     bwPollTimeout of every status answer (default 0)
//   RAVLO_DFUSIM_FAULT       one of (N counts from 1, default 1):
//                              open-denied     opening any device is refused
//                              start-in-error  devices start in dfuERROR
//                              block-error:N   data block N fails to program
//                              stall:N         download request N is stalled
//                              erase-error:N   erase command N fails
//                              vanish:N        the device is gone from data
//                                              block N on
//                              leave-silent    no status answer after leave
//                              leave-error     leave answered with dfuERROR

#include <cstdint>
#include <string>
#include <vector>

struct DeviceSetup
{
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string serial;
    bool runtime = false;
};

struct Fault
{
    enum class Kind
    {
        None,
        OpenDenied,
        StartInError,
        BlockError,
        Stall,
        EraseError,
        Vanish,
        LeaveSilent,
        LeaveError
    };
    Kind kind = Kind::None;
    int n = 1;

    bool is(Kind k) const { return kind == k; }
    bool is(Kind k, int count) const { return kind == k && n == count; }
};

struct Scenario
{
    std::vector<DeviceSetup> devices;
    Fault fault;
    uint32_t pollTimeoutMs = 0;
    std::string flashIn;
    std::string flashOut;
    std::string log;
};

// Reads the scenario from the environment. On a malformed variable returns
// false and says which in error.
bool readScenario(Scenario &scenario, std::string &error);
