#include "LineLog.h"

#include <QByteArray>
#include <cstdio>

namespace vexlor {

LineSink standardErrorLines()
{
    return [](const QString& line) {
        QByteArray bytes = line.toUtf8();
        bytes.replace('\n', ' ').replace('\r', ' ');
        bytes.append('\n');
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
        std::fflush(stderr);
    };
}

} // namespace vexlor
