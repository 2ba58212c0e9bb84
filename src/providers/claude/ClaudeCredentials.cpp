#include "ClaudeCredentials.h"

#include "collection/FileRoutines.h"
#include "collection/Json.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>

namespace vexlor {

namespace {
constexpr qint64 maxCredentialsFileBytes = 1024 * 1024;
}

QString claudeKeychainService()
{
    return QStringLiteral("Claude Code-credentials");
}

std::optional<QString> tokenFromCredentialsJson(QByteArrayView bytes)
{
    const auto document = json::Document::parseObject(bytes);
    if (!document)
        return std::nullopt;
    std::optional<QString> token;
    if (const auto oauth = json::childObject(document->root(), "claudeAiOauth"))
        token = json::qstring(*oauth, "accessToken");
    if (!token)
        token = json::qstring(document->root(), "accessToken");
    if (!token)
        return std::nullopt;
    QString trimmed = trimSpacesAndTabs(*token);
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

SecretTool platformSecretTool(const QString& service)
{
    SecretTool tool;
#ifdef Q_OS_MACOS
    tool.program = QStringLiteral("/usr/bin/security");
    tool.arguments = {QStringLiteral("find-generic-password"), QStringLiteral("-s"), service, QStringLiteral("-w")};
#else
    // The desktop's Secret Service holds the login key chain; items are found
    // by their "service" attribute.
    tool.program = QStandardPaths::findExecutable(QStringLiteral("secret-tool"));
    tool.arguments = {QStringLiteral("lookup"), QStringLiteral("service"), service};
#endif
    return tool;
}

std::optional<QByteArray> runSecretTool(const SecretTool& tool)
{
    if (tool.program.isEmpty())
        return std::nullopt;
    QProcess process;
    process.setProgram(tool.program);
    process.setArguments(tool.arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(tool.timeoutMs))
        return std::nullopt;

    const QDeadlineTimer deadline(tool.timeoutMs);
    QByteArray output;
    bool failed = false;
    while (process.state() != QProcess::NotRunning) {
        if (deadline.hasExpired()) {
            failed = true;
            break;
        }
        process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        output += process.readAllStandardOutput();
        if (output.size() > tool.maxOutputBytes) {
            failed = true;
            break;
        }
    }
    if (failed) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    output += process.readAllStandardOutput();
    if (output.size() > tool.maxOutputBytes || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return output;
}

KeychainReader platformKeychain()
{
    return [](const QString& service) { return runSecretTool(platformSecretTool(service)); };
}

ClaudeTokenSources ClaudeTokenSources::system(const QString& configDirectory)
{
    return {processEnvironment(), platformKeychain(), configDirectory + QStringLiteral("/.credentials.json")};
}

std::optional<QString> lookUpClaudeToken(const ClaudeTokenSources& sources)
{
    if (sources.environment) {
        if (const auto value = sources.environment(claudeTokenVariable)) {
            QString token = trimSpacesAndTabs(*value);
            if (!token.isEmpty())
                return token;
        }
    }
    if (sources.keychain) {
        if (const auto secret = sources.keychain(claudeKeychainService())) {
            if (auto token = tokenFromCredentialsJson(*secret))
                return token;
        }
    }
    if (!sources.credentialsFile.isEmpty()) {
        if (const auto bytes = readBounded(sources.credentialsFile, maxCredentialsFileBytes, Overflow::refuse).bytes) {
            if (auto token = tokenFromCredentialsJson(*bytes))
                return token;
        }
    }
    return std::nullopt;
}

} // namespace vexlor
