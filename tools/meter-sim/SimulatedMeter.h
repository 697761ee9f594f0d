#pragma once
// A simulated meter on a pseudo-terminal, for trying the utility without hardware.
#include <QObject>
#include <QString>
#include <memory>

struct MeterConfig {
    QString address = QStringLiteral("001");
    int baud = 2400;
    QString firmware = QStringLiteral("01.100");
};

class SimulatedMeter : public QObject {
    Q_OBJECT
public:
    // Creates the pty and starts answering; nullptr with a reason when it cannot.
    static std::unique_ptr<SimulatedMeter> start(const MeterConfig& config, QString* error = nullptr);
    ~SimulatedMeter() override;
    QString devicePath() const;

private:
    SimulatedMeter() = default;
};
