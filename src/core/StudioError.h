#pragma once

#include <QByteArray>
#include <QString>

#include <exception>
#include <utility>

namespace tarnwick {

/// The one error type of the system. `message` is the exact Russian text the user sees.
class StudioError final : public std::exception
{
public:
    explicit StudioError(QString message)
        : m_message(std::move(message))
        , m_utf8(m_message.toUtf8())
    {
    }

    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

} // namespace tarnwick
