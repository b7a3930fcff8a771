#include "font_coverage.h"

#include "constants.h"

#include <QFont>

#include <fontconfig/fontconfig.h>

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

    struct PatternDeleter {
        void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
    };
    using Pattern = std::unique_ptr<FcPattern, PatternDeleter>;

    // fontconfig's best font for a request, with the desktop's configuration and
    // defaults applied as for any program.
    Pattern bestMatch(Pattern request)
    {
        FcConfigSubstitute(nullptr, request.get(), FcMatchPattern);
        FcDefaultSubstitute(request.get());
        FcResult result;
        return Pattern(FcFontMatch(nullptr, request.get(), &result));
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
            Pattern request(FcPatternCreate());
            FcPatternAddString(request.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(generic.fcName));
            if (const Pattern match = bestMatch(std::move(request))) {
                if (const auto r = m_families.constFind(key(firstFamily(match.get()))); r != m_families.constEnd())
                    found = Family { r->name, r->charset };
            }
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

} // namespace glimra
