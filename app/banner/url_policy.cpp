#include "url_policy.h"

namespace banner
{

bool isWebUrl(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !url.host().isEmpty();
}

QUrl webReference(const QUrl& base, const QString& reference)
{
    const QUrl url = base.resolved(QUrl(reference.trimmed()));
    return isWebUrl(url) ? url : QUrl();
}

QUrl linkTarget(const QUrl& page, const QString& href)
{
    const QUrl url = webReference(page, href);
    const bool samePage
        = url.hasFragment() && url.adjusted(QUrl::RemoveFragment) == page.adjusted(QUrl::RemoveFragment);
    return samePage ? QUrl() : url;
}

QUrl redirectTarget(const QUrl& from, const QUrl& location, int hops)
{
    const QUrl target = from.resolved(location);
    const bool downgrade
        = from.scheme().toLower() == QLatin1String("https") && target.scheme().toLower() == QLatin1String("http");
    return isWebUrl(target) && !downgrade && hops < kMaxRedirects ? target : QUrl();
}

} // namespace banner
