#pragma once
// Judging one port's answer to the start-up modem probe.
#include <QByteArray>

namespace ProbeVerdict {
inline constexpr char ProbeCommand[] = "ATV1Q0\r";
inline constexpr int ProbeWaitMs = 500;
// A port whose answer holds "OK" CR LF holds a modem and is not offered.
inline bool isModem(const QByteArray& answer) { return answer.contains("OK\r\n"); }
} // namespace ProbeVerdict
