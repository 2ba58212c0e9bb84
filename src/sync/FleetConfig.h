#pragma once
// What a fleet link needs to know before it connects: the broker's address
// from a URL, the password from the environment or an owner-only file, and
// this machine's host name. Each reader returns a value or a clear error;
// none of them logs, and no error text ever holds the password.
//
//   mqtts://[user@]host[:port]/prefix   TLS, the system's CA store, port 8883
//   mqtt://[user@]host[:port]/prefix    plain, port 1883; loopback hosts only
//                                       unless "?insecure=1" is added
//   "?keepalive=N" (5 to 3600 seconds, default 60) may be added to either.

#include <QByteArray>
#include <QString>
#include <optional>

namespace vexlor {

struct BrokerAddress {
    bool tls = true;
    QString user; // empty: no user name
    QString host;
    int port = 8883;
    QString prefix; // topic levels, no leading or trailing "/"
    bool insecure = false; // plain transport to a host that is not loopback
    int keepAliveSeconds = 60;

    // The URL without user name: what log lines show.
    [[nodiscard]] QString display() const;
};

struct BrokerAddressParse {
    std::optional<BrokerAddress> address;
    QString error;
};

struct BrokerPassword {
    std::optional<QByteArray> password; // absent: connect without one
    QString error;                      // set: do not connect
};

class FleetConfig {
public:
    [[nodiscard]] static BrokerAddressParse parseBrokerUrl(const QString& url);
    // $VEXLOR_BROKER_PASSWORD, else $XDG_CONFIG_HOME/vexlor/broker-password
    // (~/.config when unset), which must be a regular file of this user that
    // no one else may read or write. No file is no password.
    [[nodiscard]] static BrokerPassword readPassword();
    [[nodiscard]] static QString passwordFilePath();
    // 1 to 64 of A-Z, a-z, 0-9, ".", "_" and "-".
    [[nodiscard]] static bool isValidHostName(const QString& name);
    // The machine's host name up to its first dot.
    [[nodiscard]] static QString machineHostName();
};

} // namespace vexlor
