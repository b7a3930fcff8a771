#pragma once

// FontCoverage: which installed font has a glyph for which character, read
// from fontconfig's cache without opening a font file.
//
// The view uses it to draw a character the run's own font lacks in a font
// that has it, before Qt goes looking. Qt 6.4 finds a fallback by checking
// every candidate fontconfig offers against every family it knows, which on
// a desktop with thousands of fonts costs most of a second per font and
// script; a preview of Japanese text over Latin fonts would spend half a
// minute there. Qt's generic names ("Serif", "Sans Serif", "Monospace") take
// the same road for every glyph, and so does a name Qt only knows as a
// substitute for another (the label font's); both are resolved to the
// family that draws them.

#include <QHash>
#include <QString>

#include <memory>
#include <optional>

struct _FcCharSet;

namespace glimra
{

class FontCoverage
{
public:
    struct Family {
        QString drawnAs; // the family to ask Qt for
        const _FcCharSet* charset = nullptr;
    };

    // The desktop's fonts, read on first use.
    static FontCoverage& instance();
    ~FontCoverage();

    // Nothing for a family fontconfig does not know.
    std::optional<Family> find(const QString& family);
    static bool covers(const Family& family, char32_t c);
    // A family that has c, preferring the label font's stand-in; empty when
    // no font has it.
    QString fallbackFor(char32_t c);

    // The family fontconfig would draw `family` with for text in `language`,
    // taking the first in its order of preference that has every character
    // of `text`: the family itself when it has them. Empty when none has.
    static QString familyFor(const QString& family, QStringView text, const QString& language);

private:
    FontCoverage();
    void load();

    struct Entry {
        QString name;
        _FcCharSet* charset;
    };
    QHash<QString, Entry> m_families; // by case-folded name
    QHash<QString, std::optional<Family>> m_resolved; // by the name as asked
    QHash<char32_t, QString> m_fallbacks;
};

} // namespace glimra
