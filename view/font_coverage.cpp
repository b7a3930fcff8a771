#include "font_coverage.h"

#include "../app/constants.h"

#include <QFont>

#include <fontconfig/fontconfig.h>

namespace view
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

    // Qt tells apart families of the same name from different foundries as
    // "Name [foundry]"; fontconfig knows them as Name.
    QString withoutFoundry(const QString& family)
    {
        if (family.endsWith(u']')) {
            const qsizetype open = family.lastIndexOf(QStringLiteral(" ["));
            if (open > 0)
                return family.left(open);
        }
        return family;
    }

    QString firstFamily(FcPattern* pattern)
    {
        FcChar8* name = nullptr;
        if (FcPatternGetString(pattern, FC_FAMILY, 0, &name) != FcResultMatch)
            return {};
        return QString::fromUtf8(reinterpret_cast<const char*>(name));
    }

} // namespace

FontCoverage& FontCoverage::instance()
{
    static FontCoverage coverage;
    return coverage;
}

FontCoverage::FontCoverage() { load(); }

FontCoverage::~FontCoverage()
{
    for (const Entry& entry : std::as_const(m_families))
        FcCharSetDestroy(entry.charset);
}

void FontCoverage::load()
{
    if (!FcInit())
        return;
    FcPattern* all = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_CHARSET, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, all, objects);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(all);
    if (!fonts)
        return;
    for (int i = 0; i < fonts->nfont; ++i) {
        FcCharSet* charset = nullptr;
        if (FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &charset) != FcResultMatch)
            continue;
        // Every name of the family (fontconfig lists localised ones too);
        // its styles together make up what the family covers.
        FcChar8* name = nullptr;
        for (int n = 0; FcPatternGetString(fonts->fonts[i], FC_FAMILY, n, &name) == FcResultMatch; ++n) {
            const QString family = QString::fromUtf8(reinterpret_cast<const char*>(name));
            auto it = m_families.find(key(family));
            if (it == m_families.end()) {
                m_families.insert(key(family), Entry { family, FcCharSetCopy(charset) });
            } else {
                FcCharSet* merged = FcCharSetUnion(it->charset, charset);
                FcCharSetDestroy(it->charset);
                it->charset = merged;
            }
        }
    }
    FcFontSetDestroy(fonts);
}

std::optional<FontCoverage::Family> FontCoverage::find(const QString& family)
{
    if (const auto cached = m_resolved.constFind(family); cached != m_resolved.constEnd())
        return *cached;
    const QString k = key(withoutFoundry(family));
    std::optional<Family> found;
    if (const auto it = m_families.constFind(k); it != m_families.constEnd()) {
        found = Family { family, it->charset };
    } else if (const QStringList substitutes = QFont::substitutes(family); !substitutes.isEmpty()) {
        // A name that stands for another, such as the label font's.
        for (const QString& substitute : substitutes) {
            if (const auto r = m_families.constFind(key(substitute)); r != m_families.constEnd()) {
                found = Family { r->name, r->charset };
                break;
            }
        }
    } else {
        for (const Generic& generic : kGenerics) {
            if (k != QLatin1String(generic.qtName))
                continue;
            FcPattern* pattern = FcPatternCreate();
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(generic.fcName));
            FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
            FcDefaultSubstitute(pattern);
            FcResult result;
            if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
                const QString real = firstFamily(match);
                if (const auto r = m_families.constFind(key(real)); r != m_families.constEnd())
                    found = Family { r->name, r->charset };
                FcPatternDestroy(match);
            }
            FcPatternDestroy(pattern);
        }
    }
    m_resolved.insert(family, found);
    return found;
}

bool FontCoverage::covers(const Family& family, char32_t c)
{
    return FcCharSetHasChar(const_cast<FcCharSet*>(family.charset), c);
}

QString FontCoverage::fallbackFor(char32_t c)
{
    if (const auto cached = m_fallbacks.constFind(c); cached != m_fallbacks.constEnd())
        return *cached;
    QString fallback;
    const auto preferred = find(glimra::kLabelFontSubstitute);
    if (preferred && covers(*preferred, c)) {
        fallback = preferred->drawnAs;
    } else {
        // The font fontconfig itself would pick for this one character.
        FcPattern* pattern = FcPatternCreate();
        FcCharSet* wanted = FcCharSetCreate();
        FcCharSetAddChar(wanted, c);
        FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
        FcCharSetDestroy(wanted);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result;
        if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
            FcCharSet* has = nullptr;
            if (FcPatternGetCharSet(match, FC_CHARSET, 0, &has) == FcResultMatch && FcCharSetHasChar(has, c))
                fallback = firstFamily(match);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    m_fallbacks.insert(c, fallback);
    return fallback;
}

QString FontCoverage::familyFor(const QString& family, QStringView text, const QString& language)
{
    if (!FcInit())
        return {};
    QString fcFamily = withoutFoundry(family);
    for (const Generic& generic : kGenerics) {
        if (key(fcFamily) == QLatin1String(generic.qtName))
            fcFamily = QLatin1String(generic.fcName);
    }
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(fcFamily.toUtf8().constData()));
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(language.toUtf8().constData()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcFontSet* sorted = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
    FcPatternDestroy(pattern);
    QString found;
    for (int i = 0; sorted && i < sorted->nfont && found.isEmpty(); ++i) {
        FcCharSet* charset = nullptr;
        if (FcPatternGetCharSet(sorted->fonts[i], FC_CHARSET, 0, &charset) != FcResultMatch)
            continue;
        bool all = true;
        for (const char32_t c : QStringView(text).toUcs4())
            all = all && (c < 0x20 || FcCharSetHasChar(charset, c));
        if (all)
            found = firstFamily(sorted->fonts[i]);
    }
    if (sorted)
        FcFontSetDestroy(sorted);
    return found;
}

} // namespace view
