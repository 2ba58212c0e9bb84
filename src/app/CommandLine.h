#pragma once
// The program's options, parsed in one place.

#include <QString>
#include <QStringList>
#include <optional>

namespace vexlor {

struct CommandLine {
    bool demo = false;
    std::optional<QString> screenshotPath;
    int passes = 1;
    std::optional<int> columns;
    std::optional<int> rows;
    QString error; // set when the options cannot be used
};

// Parses the arguments (the program name first). --help and --version exit
// from inside the parser.
[[nodiscard]] CommandLine parseCommandLine(const QStringList& arguments);

} // namespace vexlor
