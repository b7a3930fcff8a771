#include "font_list.h"

#include "base/failure.h"
#include "base/font_coverage.h"

#include <QFontDatabase>
#include <QSet>

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

QStringList installedFamilies(const QStringList& qtFamilies, const std::function<bool(const QString&)>& isInstalled)
{
    QStringList installed;
    QSet<QString> seen;
    for (const QString& family : qtFamilies) {
        QString name = family;
        if (!isInstalled(name)) {
            name = glimra::withoutFoundry(family);
            if (name == family || !isInstalled(name))
                continue;
        }
        if (!seen.contains(name)) {
            seen.insert(name);
            installed.append(name);
        }
    }
    return installed;
}

std::int16_t SystemFontList::count() const { return current().count(); }

QString SystemFontList::name(int index) const { return current().name(index); }

void SystemFontList::refresh()
{
    m_list.reset();
    m_reread = true;
}

const NamedFontList& SystemFontList::current() const
{
    if (!m_list) {
        glimra::FontCoverage& fonts = glimra::FontCoverage::instance();
        if (m_reread)
            fonts.reload();
        m_reread = false;
        m_list.emplace(installedFamilies(
            QFontDatabase::families(), [&fonts](const QString& family) { return fonts.isInstalled(family); }));
    }
    return *m_list;
}

} // namespace preview
