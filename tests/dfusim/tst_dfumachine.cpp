// The simulated device's flash rules, which dfu-util never breaks on its own:
// it always erases before it writes.

#include "descriptors.h"
#include "dfumachine.h"
#include "flashlayout.h"

#include <QtTest>

#include <vector>

namespace {

struct Outcome
{
    int state;
    int status;
};

// A download request followed by the status polls up to the end of dfuDNBUSY.
Outcome download(DfuMachine &machine, uint16_t block, std::vector<uint8_t> payload)
{
    uint8_t status[6] = {};
    if (machine.handle(DfuMachine::Dnload, block, payload.data(), uint16_t(payload.size())) < 0 ||
        machine.handle(DfuMachine::GetStatus, 0, status, 6) != 6 ||
        machine.handle(DfuMachine::GetStatus, 0, status, 6) != 6)
        return {-1, -1};
    return {status[4], status[0]};
}

std::vector<uint8_t> command(uint8_t code, uint32_t address)
{
    return {code, uint8_t(address), uint8_t(address >> 8), uint8_t(address >> 16),
            uint8_t(address >> 24)};
}

} // namespace

class TestDfuMachine : public QObject
{
    Q_OBJECT
private slots:
    void programming_data();
    void programming();
};

void TestDfuMachine::programming_data()
{
    QTest::addColumn<quint32>("erase");
    QTest::addColumn<quint32>("address");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("status");

    const quint32 base = flashlayout::kBase;
    const quint32 none = 0;
    QTest::newRow("erased sector")
        << base + 0x20100 << base + 0x3f800 << int(DfuMachine::DnloadIdle) << int(DfuMachine::Ok);
    QTest::newRow("old firmware") << none << base << int(DfuMachine::DfuError)
                                  << int(DfuMachine::ErrProg);
    QTest::newRow("next sector not erased")
        << base << base + 0x4000 << int(DfuMachine::DfuError) << int(DfuMachine::ErrProg);
    QTest::newRow("beyond the flash") << none << base + flashlayout::kSize
                                      << int(DfuMachine::DfuError) << int(DfuMachine::ErrAddress);
    QTest::newRow("erase beyond the flash")
        << base + flashlayout::kSize << base << int(DfuMachine::DfuError)
        << int(DfuMachine::ErrTarget);
}

// Erases the sector at erase (none for 0), then writes one block at address;
// the outcome is that of the first step that fails, else of the write.
void TestDfuMachine::programming()
{
    QFETCH(quint32, erase);
    QFETCH(quint32, address);
    DfuMachine machine(false, Fault(), 0, Descriptors::kTransferSize, Flash());
    const std::vector<uint8_t> data(Descriptors::kTransferSize, 0x5a);

    Outcome outcome = {DfuMachine::DnloadIdle, DfuMachine::Ok};
    if (erase)
        outcome = download(machine, 0, command(0x41, erase));
    if (outcome.state == DfuMachine::DnloadIdle)
        outcome = download(machine, 0, command(0x21, address));
    if (outcome.state == DfuMachine::DnloadIdle)
        outcome = download(machine, 2, data);
    QTEST(outcome.state, "state");
    QTEST(outcome.status, "status");

    if (outcome.status == DfuMachine::Ok) {
        std::vector<uint8_t> stored(data.size());
        machine.flash().read(address, stored.data(), uint32_t(stored.size()));
        QVERIFY(stored == data);
    }
}

QTEST_GUILESS_MAIN(TestDfuMachine)
#include "tst_dfumachine.moc"
