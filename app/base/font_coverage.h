#pragma once

// FontCoverage: the desktop's installed font families and which of them has
// a glyph for which character, read from fontconfig's cache without opening
// a font file.
//
// The font list keeps only the families it knows. The view uses it to draw
// a character the run's own font lacks in a font that has it, before Qt goes
// looking: Qt 6.4 finds a fallback by checking every candidate fontconfig
// offers against every family it knows, which on a desktop with thousands of
// fonts costs most of a second per font and script. Qt's generic names
// ("Serif", "Sans Serif", "Monospace") take the same road for every glyph,
// and so does a name Qt only knows as a substitute for another (the label
// font's); both are resolved to the family that draws them.

#include <QHash>
#include <QString>

#include <optional>

struct _FcCharSet;

namespace glimra
{

// What the glyph fallback asks of the installed fonts: FontCoverage answers
// for the desktop's, a test for fonts of its own.
class GlyphCoverage
{
public:
    struct Family {
        QString drawnAs; // the family to ask Qt for
        const _FcCharSet* charset = nullptr;
        // Qt loads the family once for every script only where fontconfig
        // says it covers English; else once for each script it is shaped in.
        bool loadedOnceForAllScripts = true;
    };

    // Nothing for a family fontconfig does not know.
    virtual std::optional<Family> find(const QString& family) = 0;
    static bool covers(const Family& family, char32_t c);
    // A family that has c, preferring the label font's stand-in; empty when
    // no font has it.
    virtual QString fallbackFor(char32_t c) = 0;

protected:
    ~GlyphCoverage() = default;
};

class FontCoverage final : public GlyphCoverage
{
public:
    // The desktop's fonts, read on first use.
    static FontCoverage& instance();
    ~FontCoverage();
    FontCoverage(const FontCoverage&) = delete;
    FontCoverage& operator=(const FontCoverage&) = delete;

    // Reads the fonts again, after fonts were added or removed.
    void reload();

    // Whether an installed font has this family name, in any language.
    bool isInstalled(const QString& family) const;

    std::optional<Family> find(const QString& family) override;
    QString fallbackFor(char32_t c) override;

private:
    FontCoverage();
    void load();
    void clear();

    struct Entry {
        QString name;
        _FcCharSet* charset;
        bool english;
    };
    QHash<QString, Entry> m_families; // by case-folded name
    QHash<QString, std::optional<Family>> m_resolved; // by the name as asked
    QHash<char32_t, QString> m_fallbacks;
};

// "Name [foundry]", as Qt tells apart the foundries of one family, less the
// foundry.
QString withoutFoundry(const QString& family);

// The family that stands in for the label font and draws the window's
// texts: the Japanese proportional gothic fontconfig prefers for Japanese
// text (never one whose Latin letters all have one width), or without any
// Japanese font the desktop's sans face. Chosen once, on first use.
const QString& labelFontStandIn();
// Whether the stand-in draws the label font's name and the window's
// captions: not on a desktop without a Japanese font.
bool labelFontStandInIsJapanese();

} // namespace glimra
