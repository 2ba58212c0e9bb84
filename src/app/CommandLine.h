#pragma once
// The program's options, parsed in one place.

#include <QString>
#include <QStringList>
#include <optional>

namespace vexlor {

struct CommandLine {
    bool headless = false;
    bool demo = false;
    std::optional<QString> screenshotPath;
    int passes = 1;
    bool passesGiven = false;
    double intervalSeconds = 3; // headless: the wait between passes
    // Headless: how each pass is printed.
    enum class Format { snapshot, waybar, line };
    Format format = Format::snapshot;
    std::optional<int> columns;
    std::optional<int> rows;
    // With --screenshot: the card to open first ("settings", "tips",
    // "agents", "online", or "sheet:" and an agent id).
    std::optional<QString> overlay;
    // The fleet: a broker URL and this machine's name in it.
    std::optional<QString> broker;
    std::optional<QString> host;
    QString error; // set when the options cannot be used
    // Set for --help and --version: print it to standard output and exit 0.
    std::optional<QString> output;
};

// Parses the arguments (the program name first). Nothing here exits or
// prints; the caller reports `error` (exit status 2) or prints `output`.
[[nodiscard]] CommandLine parseCommandLine(const QStringList& arguments);

} // namespace vexlor
