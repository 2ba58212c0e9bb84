#pragma once
// Where Claude Code keeps its OAuth access token, and how it is found: the
// environment variable "CLAUDE_CODE_OAUTH_TOKEN", then the login key chain
// item "Claude Code-credentials", then ".credentials.json" in the Claude
// configuration directory. Every source is injectable, so tests never touch
// the real environment, key chain or home directory. The token is only ever
// returned to the caller, never logged or put into an error text.

#include "collection/HttpClient.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace vexlor {

inline constexpr const char* claudeTokenVariable = "CLAUDE_CODE_OAUTH_TOKEN";
[[nodiscard]] QString claudeKeychainService(); // "Claude Code-credentials"

// The access token in a credentials JSON: "claudeAiOauth"."accessToken" when
// that is a string, else the top-level "accessToken"; trimmed, and no value
// when empty or when the bytes are not a JSON object.
[[nodiscard]] std::optional<QString> tokenFromCredentialsJson(QByteArrayView json);

// A child process that prints a key chain item's secret.
struct SecretTool {
    QString program;      // absolute path; empty when the platform has no tool
    QStringList arguments;
    int timeoutMs = 3000; // the tool is killed and nothing returned after this
    qint64 maxOutputBytes = 1024 * 1024;
};

// This platform's tool for `service`: on macOS "/usr/bin/security
// find-generic-password -s <service> -w"; elsewhere the Secret Service through
// "secret-tool lookup service <service>" when secret-tool is on the PATH.
[[nodiscard]] SecretTool platformSecretTool(const QString& service);

// Runs the tool synchronously; its standard output when it exits with status
// 0 in time, otherwise (not startable, failed, killed, too much output)
// nothing. Standard error is discarded.
[[nodiscard]] std::optional<QByteArray> runSecretTool(const SecretTool& tool);

using KeychainReader = std::function<std::optional<QByteArray>(const QString& service)>;
[[nodiscard]] KeychainReader platformKeychain();

struct ClaudeTokenSources {
    EnvironmentReader environment;
    KeychainReader keychain;
    QString credentialsFile; // the configuration directory + "/.credentials.json"

    [[nodiscard]] static ClaudeTokenSources system(const QString& configDirectory);
};

// One lookup through the sources in order; blocking (it may run the key chain
// tool), so callers run it off the interface thread.
[[nodiscard]] std::optional<QString> lookUpClaudeToken(const ClaudeTokenSources& sources);

} // namespace vexlor
