#pragma once

#include <QString>
#include <stdexcept>

// The one error type that handlers let escape; the application's standard
// error display shows its text in a message box.
class TVelmoraError : public std::runtime_error {
public:
    explicit TVelmoraError(const QString& message)
        : std::runtime_error(message.toStdString()), text(message) {}
    QString message() const { return text; }

private:
    QString text;
};
