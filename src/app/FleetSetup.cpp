#include "FleetSetup.h"

#include "deck/PreferencesStore.h"
#include "sync/DirectoryKeyValueStore.h"
#include "sync/FleetConfig.h"
#include "sync/FleetLink.h"
#include "sync/FolderFleet.h"

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

std::unique_ptr<FleetSource> refuse(const QString& why)
{
    std::fprintf(stderr, "[Fleet] not joining the fleet: %s; the deck goes on with this machine alone\n", qPrintable(why));
    std::fflush(stderr);
    return nullptr;
}

QString hostNameProblem(const QString& host)
{
    return u"the host name \"%1\" is not 1 to 64 of A-Z, a-z, 0-9, \".\", \"_\" and \"-\"; "
           "give one with --host"_s.arg(host.left(80));
}

// Each host's deck is a file in the shared folder, so the name must also
// make a plain file name (no leading "." and no "..").
std::unique_ptr<FleetSource> makeFolderFleet(const QString& host)
{
    if (!FleetConfig::isValidHostName(host) || !KeyValueStore::isValidKey(FolderFleet::deckKey(host)))
        return refuse(u"the host name \"%1\" is not 1 to 64 of A-Z, a-z, 0-9, \".\", \"_\" and \"-\" "
                      "that neither start with \".\" nor hold \"..\""_s.arg(host.left(80)));
    const QString folder = DirectoryKeyValueStore::defaultDirectory();
    std::fprintf(stderr, "[Fleet] sharing the deck as %s through the folder %s\n", qPrintable(host), qPrintable(folder));
    std::fflush(stderr);
    FolderFleet::Options options;
    options.hostName = host;
    return std::make_unique<FolderFleet>(std::make_unique<DirectoryKeyValueStore>(folder), std::move(options));
}

} // namespace

std::unique_ptr<FleetSource> makeFleet(const FleetChoice& choice, const PreferencesStore& preferences)
{
    QString url = choice.broker.value_or(QString()).trimmed();
    if (url.isEmpty())
        url = preferredString(preferences, u"FleetBroker"_s);
    if (url.isEmpty())
        url = qEnvironmentVariable("VEXLOR_BROKER").trimmed();
    if (url.isEmpty()) {
        // The folder route needs both a folder chosen on purpose and a name
        // given on purpose; otherwise the deck keeps today's single key.
        if (choice.host && !choice.host->isEmpty() && !qEnvironmentVariable("VEXLOR_KVS_DIR").isEmpty())
            return makeFolderFleet(*choice.host);
        return nullptr;
    }

    QString host = choice.host.value_or(QString());
    if (host.isEmpty())
        host = preferredString(preferences, u"FleetHostName"_s);
    if (host.isEmpty())
        host = FleetConfig::machineHostName();
    if (!FleetConfig::isValidHostName(host))
        return refuse(hostNameProblem(host));

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
