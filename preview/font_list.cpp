#include "font_list.h"

#include "base/failure.h"

#include <QFontDatabase>
#include <QGuiApplication>

#include <limits>

namespace preview
{

using glimra::ErrorNumber;
using glimra::StepFailed;

std::int16_t fontCount(qsizetype size)
{
    if (size > std::numeric_limits<std::int16_t>::max())
        throw StepFailed(ErrorNumber::Overflow, QStringLiteral("%1 fonts").arg(size));
    return std::int16_t(size);
}

NamedFontList::NamedFontList(QStringList names)
    : m_names(std::move(names))
{
}

std::int16_t NamedFontList::count() const { return fontCount(m_names.size()); }

QString NamedFontList::name(int index) const
{
    if (index < 0 || index >= m_names.size())
        throw StepFailed(ErrorNumber::OutOfRange, QStringLiteral("font %1 of %2").arg(index).arg(m_names.size()));
    return m_names.at(index);
}

SystemFontList::SystemFontList()
    : NamedFontList(QFontDatabase::families())
{
}

void SystemFontList::refresh() { setNames(QFontDatabase::families()); }

} // namespace preview
