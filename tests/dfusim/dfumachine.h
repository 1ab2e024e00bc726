#pragma once

#include "flash.h"
#include "scenario.h"

#include <cstdint>
#include <vector>

// The DFU 1.1 state machine of one device with the DfuSe extensions of the
// STM32 bootloader (set address pointer, page and mass erase, addressed
// blocks, leave on a zero-length download), working on its flash. A request
// the state does not allow is stalled and leaves the machine in dfuERROR, as
// USB DFU 1.1 asks. Commands and blocks are carried out when the
// host polls the status that reports dfuDNBUSY.
class DfuMachine
{
public:
    enum Request : uint8_t
    {
        Detach,
        Dnload,
        Upload,
        GetStatus,
        ClrStatus,
        GetState,
        Abort
    };
    enum State : uint8_t
    {
        AppIdle,
        AppDetach,
        DfuIdle,
        DnloadSync,
        DnBusy,
        DnloadIdle,
        ManifestSync,
        Manifest,
        ManifestWaitReset,
        UploadIdle,
        DfuError
    };
    enum Status : uint8_t
    {
        Ok = 0x00,
        ErrTarget = 0x01,
        ErrErase = 0x04,
        ErrProg = 0x06,
        ErrAddress = 0x08,
        ErrNotDone = 0x09,
        ErrUnknown = 0x0e,
        ErrStalledPkt = 0x0f
    };

    DfuMachine(bool runtime, const Fault &fault, uint32_t pollTimeoutMs, uint16_t transferSize,
               const Flash &flash);

    // One class request: the number of bytes transferred or a libusb error.
    int handle(uint8_t request, uint16_t value, uint8_t *data, uint16_t length);

    // The device has left the bus (after leaving DFU mode, a detach, or the
    // vanish fault); every further transfer fails.
    bool gone() const { return m_gone; }
    void leaveBus() { m_gone = true; }
    bool flashChanged() const { return m_flashChanged; }
    const Flash &flash() const { return m_flash; }

private:
    int detach();
    int download(uint16_t block, const uint8_t *data, uint16_t length);
    int upload(uint16_t block, uint8_t *data, uint16_t length);
    int getStatus(uint8_t *data, uint16_t length);
    int clearStatus();
    int abort();
    int stall();
    void fail(Status status);
    bool acceptCommand(const std::vector<uint8_t> &command) const;
    void finishDownload();
    void runCommand();
    void programBlock();
    uint32_t blockAddress(uint16_t block) const;

    const bool m_runtime;
    const Fault m_fault;
    const uint32_t m_pollTimeoutMs;
    const uint16_t m_transferSize;
    Flash m_flash;
    State m_state;
    Status m_status;
    uint32_t m_pointer = 0;
    uint16_t m_pendingBlock = 0;
    std::vector<uint8_t> m_pending;
    bool m_pendingFails = false;
    int m_downloads = 0;
    int m_blocks = 0;
    int m_erases = 0;
    bool m_gone = false;
    bool m_flashChanged = false;
};
