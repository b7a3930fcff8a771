#pragma once

// The list of screen fonts the preview walks: a 16-bit count and a name by
// index, in the platform's order.

#include <QStringList>

#include <cstdint>

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
    void setNames(QStringList names) { m_names = std::move(names); }
    std::int16_t count() const override;
    QString name(int index) const override;

private:
    QStringList m_names;
};

// The desktop's font families as Qt lists them, read once: the build asks
// for the count once per font, and Qt builds a fresh list on every call.
// The window refreshes it when the platform reports new fonts.
class SystemFontList : public NamedFontList
{
public:
    SystemFontList();
    void refresh();
};

// A list's size as the 16-bit count; fails when it does not fit.
std::int16_t fontCount(qsizetype size);

} // namespace preview
