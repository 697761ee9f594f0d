#pragma once
// A simulated meter on a pseudo-terminal, offered as port 1 to a window of its own.
#include <QPushButton>
#include "common/TestWindow.h"
#include "meter-sim/SimulatedMeter.h"

struct MeterRig {
    std::unique_ptr<SimulatedMeter> sim;
    PortMap ports; // 1: the simulated meter
    std::unique_ptr<frmMain> w; // none when the test builds its own window on ports

    explicit MeterRig(const MeterConfig& config = {}, bool window = true) : sim(SimulatedMeter::start(config))
    {
        if (sim)
            ports.map(1, sim->devicePath());
        if (sim && window)
            w = makeWindow(ports); // the start-up probe chose port 1
    }
    void press() const { QTest::mouseClick(w->cmdProgramMeter, Qt::LeftButton); }
};
