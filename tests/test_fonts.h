#pragma once

// Tests that need particular installed fonts skip, saying which, on a
// desktop that lacks them, instead of failing there; and the fonts that
// copied rich text names.

#include <QFontDatabase>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

// The first of the families that is not installed here; empty when all are.
inline QString firstMissingFamily(const QStringList& families)
{
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : families) {
        if (!installed.contains(family))
            return family;
    }
    return {};
}

#define SKIP_UNLESS_INSTALLED(...)                                                                                     \
    do {                                                                                                               \
        const QString missing_ = firstMissingFamily(QStringList { __VA_ARGS__ });                                      \
        if (!missing_.isEmpty())                                                                                       \
            QSKIP(qPrintable(QStringLiteral("needs the font family %1, not installed here").arg(missing_)));           \
    } while (false)

// Each font-family value in copied HTML, as written there. Its &quot; is
// read back first: the entity's semicolon would end the value.
inline QStringList fontFamilyValues(QString html)
{
    html.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    static const QRegularExpression declaration(QStringLiteral("font-family:([^;]*);"));
    QStringList values;
    for (const auto& match : declaration.globalMatch(html))
        values += match.captured(1);
    return values;
}
