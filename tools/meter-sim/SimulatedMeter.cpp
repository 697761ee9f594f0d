#include "meter-sim/SimulatedMeter.h"

std::unique_ptr<SimulatedMeter> SimulatedMeter::start(const MeterConfig&, QString* error)
{
    if (error)
        *error = QStringLiteral("not available");
    return nullptr;
}
SimulatedMeter::~SimulatedMeter() = default;
QString SimulatedMeter::devicePath() const { return {}; }
