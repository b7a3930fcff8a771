#pragma once

// The two ways glimra's handlers meet a failure.
//
// Statement-skip: the preview build and the resize handler run each step
// through skipOnFailure(); a step that fails is abandoned without a word and
// the handler goes on with the next one.
//
// Fatal: the load handler and the colour handlers run through orDie()
// (fatal.h, on the window's side); a failure shows the run-time error box
// and ends the program.
//
// Failures are StepFailed thrown by our own layers. Nothing else is caught,
// so a bug fails loudly, and nothing ever leaves a Qt slot by throwing.

#include <QLoggingCategory>
#include <QString>

#include <concepts>
#include <functional>
#include <stdexcept>

Q_DECLARE_LOGGING_CATEGORY(lcGlimra)

namespace glimra
{

// The run-time error numbers glimra's layers report.
enum class ErrorNumber {
    InvalidCall = 5,
    Overflow = 6,
    OutOfRange = 9,
    DivisionByZero = 11,
    TypeMismatch = 13,
    InvalidPropertyValue = 380,
};

class StepFailed : public std::runtime_error
{
public:
    explicit StepFailed(ErrorNumber number, const QString& detail = {});

    ErrorNumber number() const { return m_number; }
    // The run time's own wording for the number, in Japanese.
    QString description() const;
    // The text of the run-time error box: number, blank line, description.
    QString boxText() const;

private:
    ErrorNumber m_number;
};

template <std::invocable F> void skipOnFailure(F&& step) noexcept
{
    try {
        std::invoke(std::forward<F>(step));
    } catch (const StepFailed& e) {
        qCDebug(lcGlimra) << "step skipped:" << e.what();
    }
}

// 32-bit arithmetic that reports overflow as the run time does.
qint32 checkedAdd(qint32 a, qint64 b);

} // namespace glimra
