#pragma once

// What the simulated bus holds and how it misbehaves, read from the
// environment of the process that loads the simulated library:
//
//   RAVLO_DFUSIM_DEVICES     devices on the bus, separated by ';' or line
//                            breaks. Each is VID:PID (hex) followed by
//                            ",key=value" options:
//                              port=N        hub port, 1 to 124: the device's
//                                            path is "1-N" and its devnum N + 3
//                                            (default 2 for the first entry, 3
//                                            for the second, ...; no two alike)
//                              serial=TEXT   serial number string (printable
//                                            ASCII without ',' or ';'; empty
//                                            for a device without one;
//                                            default 3276386A3133 at port 2,
//                                            ...3134 at port 3, ...)
//                              mode=runtime  a device in run-time mode instead
//                                            of the DfuSe bootloader
//                            Unset or empty: no device.
//   RAVLO_DFUSIM_DEVICES_FILE  file holding the devices instead, read when a
//                            process sets up its bus, so that the bus can
//                            change between runs of the tool (a missing file:
//                            no device)
//   RAVLO_DFUSIM_FLASH_DIR   folder of the flash contents: a device at path P
//                            starts from flash-P.bin there, else from
//                            flash.bin, else from the built-in old firmware;
//                            when the process ends, each device whose flash
//                            changed is saved to its flash-P.bin. Processes
//                            working on different devices thus keep each
//                            other's writes, and a listing writes nothing.
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
    uint8_t port = 0;
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
    std::string flashDir;
    std::string log;
};

// Reads the scenario from the environment. On a malformed variable returns
// false and says which in error.
bool readScenario(Scenario &scenario, std::string &error);
