#pragma once

#include <QString>

#include <stdexcept>

// A run-time error with the number and description that an error trap records
// as the last error (see lasterror.h). Steps covered by a trap throw it; the
// trap adds its own tag, for example "[Form.Load]".
class TrappedError : public std::runtime_error {
public:
    TrappedError(qint32 number, const QString& description)
        : std::runtime_error(description.toStdString()), m_number(number),
          m_description(description) {}

    qint32 number() const { return m_number; }
    const QString& description() const { return m_description; }

private:
    qint32 m_number;
    QString m_description;
};

// Error numbers the traps use, with the descriptions the operator knows.
namespace ErrorNumber {
inline constexpr qint32 OutOfMemory = 7;
inline constexpr qint32 InternalError = 51;
inline constexpr qint32 FileNotFound = 53;
inline constexpr qint32 InvalidPicture = 481;
} // namespace ErrorNumber
