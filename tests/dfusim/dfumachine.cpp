#include "dfumachine.h"

#include "flashlayout.h"
#include "usbabi.h"

#include <algorithm>

namespace {

constexpr uint8_t kSetAddress = 0x21;
constexpr uint8_t kErase = 0x41;
// What UPLOAD of block 0 reports: the commands this device carries out.
constexpr uint8_t kCommands[] = {0x00, kSetAddress, kErase};

uint32_t le32(const uint8_t *bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

} // namespace

DfuMachine::DfuMachine(bool runtime, const Fault &fault, uint32_t pollTimeoutMs,
                       uint16_t transferSize, const Flash &flash)
    : m_runtime(runtime)
    , m_fault(fault)
    , m_pollTimeoutMs(pollTimeoutMs)
    , m_transferSize(transferSize)
    , m_flash(flash)
    , m_state(runtime                               ? AppIdle
              : fault.is(Fault::Kind::StartInError) ? DfuError
                                                    : DfuIdle)
    , m_status(m_state == DfuError ? ErrUnknown : Ok)
{}

int DfuMachine::handle(uint8_t request, uint16_t value, uint8_t *data, uint16_t length)
{
    if (m_gone)
        return LIBUSB_ERROR_NO_DEVICE;
    if (request == GetStatus)
        return getStatus(data, length);
    if (request == GetState && length >= 1) {
        data[0] = m_state;
        return 1;
    }
    if (m_runtime)
        return request == Detach ? detach() : stall();
    switch (request) {
    case Dnload:
        return download(value, data, length);
    case Upload:
        return upload(value, data, length);
    case ClrStatus:
        return clearStatus();
    case Abort:
        return abort();
    default:
        return stall();
    }
}

int DfuMachine::detach()
{
    if (m_state != AppIdle)
        return stall();
    // The device will detach and come back in DFU mode; coming back is not
    // simulated.
    m_state = AppDetach;
    m_gone = true;
    return 0;
}

int DfuMachine::download(uint16_t block, const uint8_t *data, uint16_t length)
{
    ++m_downloads;
    if (m_fault.is(Fault::Kind::Stall, m_downloads) ||
        (m_state != DfuIdle && m_state != DnloadIdle))
        return stall();
    if (length == 0) {
        // DfuSe's leave request; there is nothing to leave from dfuIDLE.
        if (m_state != DnloadIdle)
            return stall();
        m_state = ManifestSync;
        return 0;
    }
    std::vector<uint8_t> payload(data, data + length);
    m_pendingFails = false;
    if (block == 0) {
        if (!acceptCommand(payload))
            return stall();
        if (payload[0] == kErase)
            m_pendingFails = m_fault.is(Fault::Kind::EraseError, ++m_erases);
    } else {
        if (block == 1 || length > m_transferSize)
            return stall();
        ++m_blocks;
        if (m_fault.is(Fault::Kind::Vanish, m_blocks)) {
            m_gone = true;
            return LIBUSB_ERROR_NO_DEVICE;
        }
        m_pendingFails = m_fault.is(Fault::Kind::BlockError, m_blocks);
    }
    m_pendingBlock = block;
    m_pending.swap(payload);
    m_state = DnloadSync;
    return length;
}

bool DfuMachine::acceptCommand(const std::vector<uint8_t> &command) const
{
    switch (command[0]) {
    case kSetAddress:
        return command.size() == 5;
    case kErase:
        return command.size() == 5 || command.size() == 1;
    default:
        return false;
    }
}

int DfuMachine::upload(uint16_t block, uint8_t *data, uint16_t length)
{
    if ((m_state != DfuIdle && m_state != UploadIdle) || block == 1)
        return stall();
    if (block == 0) {
        const uint16_t count = std::min<uint16_t>(length, sizeof kCommands);
        std::copy_n(kCommands, count, data);
        m_state = UploadIdle;
        return count;
    }
    const uint32_t address = blockAddress(block);
    if (!Flash::contains(address, 1))
        return stall();
    const uint16_t count = static_cast<uint16_t>(
        std::min<uint32_t>(length, flashlayout::kBase + flashlayout::kSize - address));
    m_flash.read(address, data, count);
    // A short block ends the upload.
    m_state = count < length ? DfuIdle : UploadIdle;
    return count;
}

int DfuMachine::getStatus(uint8_t *data, uint16_t length)
{
    if (length < 6)
        return stall();
    switch (m_state) {
    case DnloadSync:
        m_state = DnBusy;
        break;
    case DnBusy:
        finishDownload();
        break;
    case ManifestSync:
        if (m_fault.is(Fault::Kind::LeaveSilent)) {
            // Reset before answering, as many STM32 parts do.
            m_gone = true;
            return LIBUSB_ERROR_NO_DEVICE;
        }
        if (m_fault.is(Fault::Kind::LeaveError)) {
            fail(ErrNotDone);
            break;
        }
        // Answer, then start the new firmware.
        m_state = Manifest;
        m_gone = true;
        break;
    default:
        break;
    }
    data[0] = m_status;
    data[1] = static_cast<uint8_t>(m_pollTimeoutMs & 0xff);
    data[2] = static_cast<uint8_t>((m_pollTimeoutMs >> 8) & 0xff);
    data[3] = static_cast<uint8_t>((m_pollTimeoutMs >> 16) & 0xff);
    data[4] = m_state;
    data[5] = 0;
    return 6;
}

int DfuMachine::clearStatus()
{
    if (m_state != DfuError)
        return stall();
    m_state = DfuIdle;
    m_status = Ok;
    return 0;
}

int DfuMachine::abort()
{
    switch (m_state) {
    case DfuIdle:
    case DnloadSync:
    case DnloadIdle:
    case ManifestSync:
    case UploadIdle:
        m_state = DfuIdle;
        return 0;
    default:
        return stall();
    }
}

int DfuMachine::stall()
{
    fail(ErrStalledPkt);
    return LIBUSB_ERROR_PIPE;
}

void DfuMachine::fail(Status status)
{
    m_state = DfuError;
    m_status = status;
}

void DfuMachine::finishDownload()
{
    m_state = DnloadIdle;
    if (m_pendingBlock == 0)
        runCommand();
    else
        programBlock();
}

void DfuMachine::runCommand()
{
    if (m_pending[0] == kSetAddress) {
        m_pointer = le32(&m_pending[1]);
        return;
    }
    // Erase: a sector by address, or the whole flash without one.
    if (m_pendingFails)
        return fail(ErrErase);
    if (m_pending.size() == 1)
        m_flash.eraseAll();
    else if (m_flash.eraseSector(le32(&m_pending[1])) != Flash::Result::Ok)
        return fail(ErrTarget);
    m_flashChanged = true;
}

void DfuMachine::programBlock()
{
    if (m_pendingFails)
        return fail(ErrProg);
    switch (m_flash.program(blockAddress(m_pendingBlock), m_pending.data(),
                            static_cast<uint32_t>(m_pending.size()))) {
    case Flash::Result::Ok:
        m_flashChanged = true;
        break;
    case Flash::Result::NotErased:
        // The bytes before the first unerased one have been written.
        m_flashChanged = true;
        fail(ErrProg);
        break;
    case Flash::Result::OutOfRange:
        fail(ErrAddress);
        break;
    }
}

uint32_t DfuMachine::blockAddress(uint16_t block) const
{
    return m_pointer + uint32_t(block - 2) * m_transferSize;
}
