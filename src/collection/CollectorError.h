#pragma once
// The error a collector's internal steps throw. A collector catches its own
// errors and turns the message into its usage snapshot's error text; none
// crosses collect().

#include <QString>
#include <exception>

namespace vexlor {

class CollectorError : public std::exception {
public:
    explicit CollectorError(QString message)
        : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}

    [[nodiscard]] const QString& message() const { return m_message; }
    [[nodiscard]] const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

} // namespace vexlor
