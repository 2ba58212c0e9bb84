#include "FleetSetup.h"

#include "deck/PreferencesStore.h"
#include "sync/FleetConfig.h"
#include "sync/FleetLink.h"

#include <QJsonValue>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace vexlor {
namespace {

QString preferredString(const PreferencesStore& preferences, const QString& key)
{
    const std::optional<QJsonValue> value = preferences.value(key);
    return value && value->isString() ? value->toString().trimmed() : QString();
}

std::unique_ptr<FleetLink> refuse(const QString& why)
{
    std::fprintf(stderr, "[Fleet] not joining the fleet: %s; the deck goes on with this machine alone\n", qPrintable(why));
    std::fflush(stderr);
    return nullptr;
}

} // namespace

std::unique_ptr<FleetLink> makeFleetLink(const FleetChoice& choice, const PreferencesStore& preferences)
{
    QString url = choice.broker.value_or(QString()).trimmed();
    if (url.isEmpty())
        url = preferredString(preferences, u"FleetBroker"_s);
    if (url.isEmpty())
        url = qEnvironmentVariable("VEXLOR_BROKER").trimmed();
    if (url.isEmpty())
        return nullptr;

    QString host = choice.host.value_or(QString());
    if (host.isEmpty())
        host = preferredString(preferences, u"FleetHostName"_s);
    if (host.isEmpty())
        host = FleetConfig::machineHostName();
    if (!FleetConfig::isValidHostName(host))
        return refuse(u"the host name \"%1\" is not 1 to 64 of A-Z, a-z, 0-9, \".\", \"_\" and \"-\"; "
                      "give one with --host"_s.arg(host.left(80)));

    const BrokerAddressParse parsed = FleetConfig::parseBrokerUrl(url);
    if (!parsed.address)
        return refuse(parsed.error);
    const BrokerPassword password = FleetConfig::readPassword();
    if (!password.error.isEmpty())
        return refuse(password.error);

    FleetLink::Options options;
    options.address = *parsed.address;
    options.password = password.password;
    options.hostName = host;
    return std::make_unique<FleetLink>(std::move(options));
}

} // namespace vexlor
