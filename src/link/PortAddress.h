#pragma once
// A port reached over the network: "rfc2217://HOST:PORT" (Telnet COM-PORT-OPTION, the rate set
// through the server) or "tcp://HOST:PORT" (bytes as they are, the rate the server's). An IPv6
// literal stands in brackets: "rfc2217://[::1]:7001". Anything else is a local device path.
#include <QString>
#include <optional>

struct PortAddress {
    enum class Kind { Rfc2217, RawTcp };
    Kind kind = Kind::Rfc2217;
    QString host; // without brackets
    quint16 port = 0;

    // True for a text in one of the two network forms, well formed or not.
    static bool isNetwork(const QString& text);
    // The address of a network form; nullopt with the fault in error when it is not one.
    static std::optional<PortAddress> parse(const QString& text, QString* error = nullptr);
    QString text() const; // the canonical form, as parse reads it
    // HOST:PORT, the IPv6 literal in brackets.
    QString hostPort() const;
};
