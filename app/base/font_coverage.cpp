#include "font_coverage.h"

#include "constants.h"

#include <QFont>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

#include <memory>

namespace glimra
{

namespace
{

    // Qt's generic families and the fontconfig names behind them.
    struct Generic {
        const char* qtName;
        const char* fcName;
    };
    constexpr Generic kGenerics[]
        = { { "serif", "serif" }, { "sans serif", "sans-serif" }, { "monospace", "monospace" } };

    QString key(const QString& family) { return family.toCaseFolded(); }

    const FcChar8* fcText(const char* text) { return reinterpret_cast<const FcChar8*>(text); }

    struct PatternDeleter {
        void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
    };
    using Pattern = std::unique_ptr<FcPattern, PatternDeleter>;
    struct FontSetDeleter {
        void operator()(FcFontSet* fonts) const { FcFontSetDestroy(fonts); }
    };
    using FontSet = std::unique_ptr<FcFontSet, FontSetDeleter>;
    struct ConfigDeleter {
        void operator()(FcConfig* config) const { FcConfigDestroy(config); }
    };
    using Config = std::unique_ptr<FcConfig, ConfigDeleter>;

    // The desktop's configuration, held for one call. Every call is handed
    // it: fontconfig promises that a null one stands for it only to some
    // of its functions, and FcFontSetSort has crashed on one.
    Config current() { return Config(FcConfigReference(nullptr)); }

    // A request with the desktop's configuration and defaults applied, as
    // fontconfig does for any program.
    Pattern substituted(Pattern request)
    {
        FcConfigSubstitute(current().get(), request.get(), FcMatchPattern);
        FcDefaultSubstitute(request.get());
        return request;
    }

    // fontconfig's best font for a request.
    Pattern bestMatch(Pattern request)
    {
        FcResult result;
        return Pattern(FcFontMatch(current().get(), substituted(std::move(request)).get(), &result));
    }

    // Every font, with the given properties.
    FontSet listFonts(FcPattern* filter, std::initializer_list<const char*> properties)
    {
        FcObjectSet* objects = FcObjectSetCreate();
        for (const char* property : properties)
            FcObjectSetAdd(objects, property);
        FontSet fonts(FcFontList(current().get(), filter, objects));
        FcObjectSetDestroy(objects);
        return fonts;
    }

    // The first of the font's family names: the one fontconfig gives for the
    // desktop's language, which is also the one Qt lists.
    QString firstFamily(FcPattern* pattern)
    {
        FcChar8* name = nullptr;
        if (FcPatternGetString(pattern, FC_FAMILY, 0, &name) != FcResultMatch)
            return {};
        return QString::fromUtf8(reinterpret_cast<const char*>(name));
    }

    bool hasAll(const FcCharSet* charset, QStringView text)
    {
        for (const char32_t c : text.toUcs4()) {
            if (c >= 0x20 && !FcCharSetHasChar(const_cast<FcCharSet*>(charset), c))
                return false;
        }
        return true;
    }

    // Whether the font's Latin letters all share one width. fontconfig says so
    // for fonts whose every glyph is one or two cells wide; a Japanese font
    // with proportional kana but fixed-width Latin it calls proportional, so
    // the font itself is asked.
    bool hasFixedWidthLatin(FcPattern* font)
    {
        int spacing = FC_PROPORTIONAL;
        if (FcPatternGetInteger(font, FC_SPACING, 0, &spacing) == FcResultMatch && spacing >= FC_DUAL)
            return true;
        FcChar8* file = nullptr;
        int index = 0;
        if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch)
            return false;
        FcPatternGetInteger(font, FC_INDEX, 0, &index);
        FT_Library library = nullptr;
        if (FT_Init_FreeType(&library) != 0)
            return false;
        bool fixed = false;
        FT_Face face = nullptr;
        if (FT_New_Face(library, reinterpret_cast<const char*>(file), index & 0xffff, &face) == 0) {
            FT_Fixed narrow = 0;
            FT_Fixed wide = 0;
            const FT_UInt i = FT_Get_Char_Index(face, 'i');
            const FT_UInt m = FT_Get_Char_Index(face, 'M');
            fixed = i != 0 && m != 0 && FT_Get_Advance(face, i, FT_LOAD_NO_SCALE, &narrow) == 0
                && FT_Get_Advance(face, m, FT_LOAD_NO_SCALE, &wide) == 0 && narrow == wide;
            FT_Done_Face(face);
        }
        FT_Done_FreeType(library);
        return fixed;
    }

    bool namedSerif(FcPattern* font)
    {
        FcChar8* name = nullptr;
        for (int n = 0; FcPatternGetString(font, FC_FAMILY, n, &name) == FcResultMatch; ++n) {
            const QString family = QString::fromUtf8(reinterpret_cast<const char*>(name));
            for (const char16_t* word : { u"serif", u"mincho", u"明朝" }) {
                if (family.contains(QStringView(word), Qt::CaseInsensitive))
                    return true;
            }
        }
        return false;
    }

    // The texts the stand-in must draw: the label font's name, the window's
    // captions, and the digits and brackets around them.
    QString standInSample()
    {
        return kLabelFontName + caption::Label1 + caption::Text1 + caption::Label2 + caption::Label3 + caption::Label4
            + caption::Check1 + caption::Check2 + caption::Command1 + QStringLiteral(" ()[]0123456789");
    }

    struct StandIn {
        QString family;
        bool japanese = false;
    };

    StandIn chooseStandIn()
    {
        if (!FcInit())
            return {};
        // Only the fonts for Japanese take part: sorting every installed font
        // would cost more than the rest of the start-up.
        Pattern japanese(FcPatternCreate());
        FcPatternAddString(japanese.get(), FC_LANG, fcText("ja"));
        FontSet candidates = listFonts(japanese.get(),
            { FC_FAMILY, FC_STYLE, FC_WEIGHT, FC_SLANT, FC_WIDTH, FC_SPACING, FC_FILE, FC_INDEX, FC_CHARSET, FC_LANG,
                FC_FONTFORMAT });
        Pattern request(FcPatternCreate());
        FcPatternAddString(request.get(), FC_FAMILY, fcText("sans-serif"));
        FcPatternAddString(request.get(), FC_LANG, fcText("ja"));
        request = substituted(std::move(request));
        if (candidates && candidates->nfont > 0) {
            FcFontSet* sets[] = { candidates.get() };
            FcResult result;
            FontSet sorted(FcFontSetSort(current().get(), sets, 1, request.get(), FcFalse, nullptr, &result));
            const QString sample = standInSample();
            // fontconfig ranks the fonts the desktop names for Japanese sans
            // text first and the rest in no telling order, mincho among them:
            // a gothic is taken before a face whose name says it is serif.
            for (const bool gothicOnly : { true, false }) {
                for (int i = 0; sorted && i < sorted->nfont; ++i) {
                    FcPattern* font = sorted->fonts[i];
                    FcCharSet* charset = nullptr;
                    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch || !hasAll(charset, sample)
                        || (gothicOnly && namedSerif(font)))
                        continue;
                    if (!hasFixedWidthLatin(font))
                        return { firstFamily(font), true };
                }
            }
        }
        // No Japanese font that will do: the desktop's sans face.
        Pattern sans(FcPatternCreate());
        FcPatternAddString(sans.get(), FC_FAMILY, fcText("sans-serif"));
        if (const Pattern match = bestMatch(std::move(sans)))
            return { firstFamily(match.get()), false };
        return {};
    }

    const StandIn& standIn()
    {
        static const StandIn chosen = chooseStandIn();
        return chosen;
    }

} // namespace

QString withoutFoundry(const QString& family)
{
    if (family.endsWith(u']')) {
        const qsizetype open = family.lastIndexOf(QStringLiteral(" ["));
        if (open > 0)
            return family.left(open);
    }
    return family;
}

const QString& labelFontStandIn() { return standIn().family; }

bool labelFontStandInIsJapanese() { return standIn().japanese; }

FontCoverage& FontCoverage::instance()
{
    static FontCoverage coverage;
    return coverage;
}

FontCoverage::FontCoverage() { load(); }

FontCoverage::~FontCoverage() { clear(); }

void FontCoverage::clear()
{
    for (const Entry& entry : std::as_const(m_families))
        FcCharSetDestroy(entry.charset);
    m_families.clear();
    m_resolved.clear();
    m_fallbacks.clear();
}

void FontCoverage::reload()
{
    clear();
    load();
}

void FontCoverage::load()
{
    if (!FcInit())
        return;
    Pattern all(FcPatternCreate());
    const FontSet fonts = listFonts(all.get(), { FC_FAMILY, FC_CHARSET, FC_LANG });
    if (!fonts)
        return;
    for (int i = 0; i < fonts->nfont; ++i) {
        FcCharSet* charset = nullptr;
        if (FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &charset) != FcResultMatch)
            continue;
        // As Qt reads the font's Latin writing system.
        FcLangSet* languages = nullptr;
        const bool english = FcPatternGetLangSet(fonts->fonts[i], FC_LANG, 0, &languages) == FcResultMatch
            && FcLangSetHasLang(languages, fcText("en")) != FcLangDifferentLang;
        // Every name of the family (fontconfig lists localised ones too);
        // its styles together make up what the family covers.
        FcChar8* name = nullptr;
        for (int n = 0; FcPatternGetString(fonts->fonts[i], FC_FAMILY, n, &name) == FcResultMatch; ++n) {
            const QString family = QString::fromUtf8(reinterpret_cast<const char*>(name));
            auto it = m_families.find(key(family));
            if (it == m_families.end()) {
                m_families.insert(key(family), Entry { family, FcCharSetCopy(charset), english });
            } else {
                FcCharSet* merged = FcCharSetUnion(it->charset, charset);
                FcCharSetDestroy(it->charset);
                it->charset = merged;
                it->english = it->english || english;
            }
        }
    }
}

bool FontCoverage::isInstalled(const QString& family) const { return m_families.contains(key(family)); }

std::optional<FontCoverage::Family> FontCoverage::find(const QString& family)
{
    if (const auto cached = m_resolved.constFind(family); cached != m_resolved.constEnd())
        return *cached;
    const QString k = key(withoutFoundry(family));
    std::optional<Family> found;
    if (const auto it = m_families.constFind(k); it != m_families.constEnd()) {
        found = Family { family, it->charset, it->english };
    } else if (const QStringList substitutes = QFont::substitutes(family); !substitutes.isEmpty()) {
        // A name that stands for another, such as the label font's.
        for (const QString& substitute : substitutes) {
            if (const auto r = m_families.constFind(key(substitute)); r != m_families.constEnd()) {
                found = Family { r->name, r->charset, r->english };
                break;
            }
        }
    } else {
        for (const Generic& generic : kGenerics) {
            if (k != QLatin1String(generic.qtName))
                continue;
            Pattern request(FcPatternCreate());
            FcPatternAddString(request.get(), FC_FAMILY, fcText(generic.fcName));
            if (const Pattern match = bestMatch(std::move(request))) {
                if (const auto r = m_families.constFind(key(firstFamily(match.get()))); r != m_families.constEnd())
                    found = Family { r->name, r->charset, r->english };
            }
        }
    }
    m_resolved.insert(family, found);
    return found;
}

bool GlyphCoverage::covers(const Family& family, char32_t c)
{
    return FcCharSetHasChar(const_cast<FcCharSet*>(family.charset), c);
}

QString FontCoverage::fallbackFor(char32_t c)
{
    if (const auto cached = m_fallbacks.constFind(c); cached != m_fallbacks.constEnd())
        return *cached;
    QString fallback;
    const auto preferred = find(labelFontStandIn());
    if (preferred && covers(*preferred, c)) {
        fallback = preferred->drawnAs;
    } else {
        // The font fontconfig itself would pick for this one character.
        Pattern request(FcPatternCreate());
        FcCharSet* wanted = FcCharSetCreate();
        FcCharSetAddChar(wanted, c);
        FcPatternAddCharSet(request.get(), FC_CHARSET, wanted);
        FcCharSetDestroy(wanted);
        if (const Pattern match = bestMatch(std::move(request))) {
            FcCharSet* has = nullptr;
            if (FcPatternGetCharSet(match.get(), FC_CHARSET, 0, &has) == FcResultMatch && FcCharSetHasChar(has, c))
                fallback = firstFamily(match.get());
        }
    }
    m_fallbacks.insert(c, fallback);
    return fallback;
}

} // namespace glimra
