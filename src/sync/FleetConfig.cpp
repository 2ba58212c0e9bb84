#include "FleetConfig.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace vexlor {
namespace {

bool isLoopback(const QString& host)
{
    if (host.compare(u"localhost"_s, Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

BrokerAddressParse failure(const QString& message)
{
    return {std::nullopt, message};
}

} // namespace

QString BrokerAddress::display() const
{
    return u"%1://%2:%3/%4"_s.arg(tls ? u"mqtts"_s : u"mqtt"_s, host).arg(port).arg(prefix);
}

BrokerAddressParse FleetConfig::parseBrokerUrl(const QString& text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return failure(u"the broker URL is not of the form mqtts://[user@]host[:port]/prefix"_s);
    BrokerAddress a;
    if (url.scheme() == u"mqtts")
        a.tls = true;
    else if (url.scheme() == u"mqtt")
        a.tls = false;
    else
        return failure(u"the broker URL must start with mqtts:// or mqtt://"_s);
    if (!url.password().isEmpty())
        return failure(u"the broker URL must not hold a password; set VEXLOR_BROKER_PASSWORD or write %1"_s
                           .arg(passwordFilePath()));
    a.user = url.userName();
    a.host = url.host();
    a.port = url.port(a.tls ? 8883 : 1883);
    if (a.port < 1)
        return failure(u"the broker URL's port must be from 1 to 65535"_s);
    a.prefix = url.path();
    while (a.prefix.startsWith(u'/'))
        a.prefix.remove(0, 1);
    while (a.prefix.endsWith(u'/'))
        a.prefix.chop(1);
    if (a.prefix.isEmpty() || a.prefix.contains(u'+') || a.prefix.contains(u'#') || a.prefix.contains(u"//"_s)
        || a.prefix.toUtf8().size() > 512)
        return failure(u"the broker URL needs a topic prefix after the host, such as /vexlor, without + or #"_s);

    const QUrlQuery query(url);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (key == u"insecure" && value == u"1") {
            a.insecure = true;
        } else if (key == u"keepalive") {
            bool ok = false;
            a.keepAliveSeconds = value.toInt(&ok);
            if (!ok || a.keepAliveSeconds < 5 || a.keepAliveSeconds > 3600)
                return failure(u"the broker URL's keepalive must be from 5 to 3600 seconds"_s);
        } else {
            return failure(u"the broker URL has an unknown option \"%1\" (known: insecure=1, keepalive=N)"_s.arg(key));
        }
    }
    if (!a.tls && !isLoopback(a.host) && !a.insecure)
        return failure(u"a plain mqtt:// broker is allowed only on this machine (loopback); use mqtts://, or add "
                       "?insecure=1 to send the password and the deck unencrypted to %1"_s
                           .arg(a.host));
    // From here on it says whether the link is plain to another machine.
    a.insecure = !a.tls && !isLoopback(a.host);
    return {a, QString()};
}

QString FleetConfig::passwordFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + u"/.config"_s;
    return base + u"/vexlor/broker-password"_s;
}

BrokerPassword FleetConfig::readPassword()
{
    if (qEnvironmentVariableIsSet("VEXLOR_BROKER_PASSWORD"))
        return {qgetenv("VEXLOR_BROKER_PASSWORD"), QString()};

    const QString path = passwordFilePath();
    const QByteArray native = QFile::encodeName(path);
    // Opened without following a link, and checked on the open file, so what
    // is checked is what is read.
    const int fd = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        struct stat st {};
        if (errno == ENOENT && ::lstat(native.constData(), &st) != 0)
            return {};
        return {std::nullopt, u"the password file %1 cannot be opened: it must be a regular file, not a link"_s.arg(path)};
    }
    struct stat st {};
    QString error;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        error = u"the password file %1 is not a regular file"_s.arg(path);
    else if (st.st_uid != ::getuid())
        error = u"the password file %1 belongs to another user"_s.arg(path);
    else if ((st.st_mode & 077) != 0)
        error = u"the password file %1 may be read or written by others; run: chmod 600 %1"_s.arg(path);
    else if (st.st_size > 4096)
        error = u"the password file %1 is larger than 4096 bytes"_s.arg(path);
    QByteArray password;
    if (error.isEmpty()) {
        char buffer[4097];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && password.size() <= 4096)
            password.append(buffer, n);
        if (n < 0)
            error = u"the password file %1 cannot be read"_s.arg(path);
    }
    ::close(fd);
    if (!error.isEmpty())
        return {std::nullopt, error};
    while (password.endsWith('\n') || password.endsWith('\r'))
        password.chop(1);
    return {password, QString()};
}

bool FleetConfig::isValidHostName(const QString& name)
{
    static const QRegularExpression rule(u"\\A[A-Za-z0-9._-]{1,64}\\z"_s);
    return rule.match(name).hasMatch();
}

QString FleetConfig::machineHostName()
{
    return QSysInfo::machineHostName().section(u'.', 0, 0);
}

} // namespace vexlor
