#pragma once

// The list of screen fonts the preview walks: a 16-bit count and a name by
// index, in the platform's order.

#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

namespace preview
{

class FontList
{
public:
    virtual ~FontList() = default;
    // Fails when the number of fonts does not fit 16 bits.
    virtual std::int16_t count() const = 0;
    // Fails for an index outside the list.
    virtual QString name(int index) const = 0;
};

// A list of names given up front.
class NamedFontList : public FontList
{
public:
    explicit NamedFontList(QStringList names = {});
    std::int16_t count() const override;
    QString name(int index) const override;

private:
    QStringList m_names;
};

// The desktop's installed font families, each once, in the order Qt lists
// them: read on first use (the build asks for the count once per font, and
// Qt builds a fresh list on every call) and again after a refresh, which the
// window asks for when the platform reports new fonts.
class SystemFontList : public FontList
{
public:
    std::int16_t count() const override;
    QString name(int index) const override;
    void refresh();

private:
    const NamedFontList& current() const;

    mutable std::optional<NamedFontList> m_list;
    mutable bool m_reread = false;
};

// The families of Qt's list that are installed fonts, in Qt's order, each
// once. Qt adds names that are no font: the generic "Serif", "Sans Serif" and
// "Monospace", unless a font has that very name, and "Name [foundry]" for
// each foundry of a family that several make; those become the one entry
// "Name", where the first of them stood.
QStringList installedFamilies(const QStringList& qtFamilies, const std::function<bool(const QString&)>& isInstalled);

// A list's size as the 16-bit count; fails when it does not fit.
std::int16_t fontCount(qsizetype size);

} // namespace preview
