#include "failure.h"

#include <limits>

Q_LOGGING_CATEGORY(lcGlimra, "glimra")

namespace glimra
{

namespace
{
    QString describe(ErrorNumber number)
    {
        switch (number) {
        case ErrorNumber::InvalidCall:
            return QStringLiteral("プロシージャの呼び出し、または引数が不正です。");
        case ErrorNumber::Overflow:
            return QStringLiteral("オーバーフローしました。");
        case ErrorNumber::OutOfRange:
            return QStringLiteral("インデックスが有効範囲にありません。");
        case ErrorNumber::DivisionByZero:
            return QStringLiteral("0 で除算しました。");
        case ErrorNumber::TypeMismatch:
            return QStringLiteral("型が一致しません。");
        case ErrorNumber::InvalidPropertyValue:
            return QStringLiteral("プロパティの値が不正です。");
        }
        return QStringLiteral("アプリケーション定義またはオブジェクト定義のエラーです。");
    }
} // namespace

StepFailed::StepFailed(ErrorNumber number, const QString& detail)
    : std::runtime_error(QStringLiteral("error %1: %2").arg(int(number)).arg(detail).toStdString())
    , m_number(number)
{
}

QString StepFailed::description() const { return describe(m_number); }

QString StepFailed::boxText() const
{
    return QStringLiteral("実行時エラー '%1':\n\n%2").arg(int(m_number)).arg(description());
}

qint32 checkedAdd(qint32 a, qint64 b)
{
    const qint64 sum = qint64(a) + b;
    if (sum < std::numeric_limits<qint32>::min() || sum > std::numeric_limits<qint32>::max())
        throw StepFailed(ErrorNumber::Overflow, QStringLiteral("32-bit sum %1 + %2").arg(a).arg(b));
    return qint32(sum);
}

} // namespace glimra
