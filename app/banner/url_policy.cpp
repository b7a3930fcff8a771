#include "url_policy.h"

#include <QHostAddress>
#include <QRegularExpression>

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

namespace
{

    // A host name as compared: case and a trailing dot make no difference.
    QString bareName(QString name)
    {
        if (name.endsWith(QLatin1Char('.')))
            name.chop(1);
        return name.toLower();
    }

    struct NoProxyEntry {
        QString host; // a name, an address, or a network
        int port = -1; // -1: any
    };

    NoProxyEntry parseEntry(QString entry)
    {
        NoProxyEntry parsed;
        // "[::1]:8080", "host:8080"; an address with colons and no brackets has no port.
        const qsizetype colon = entry.lastIndexOf(QLatin1Char(':'));
        const bool bracketed = entry.startsWith(QLatin1Char('['));
        if (colon > 0 && (bracketed ? entry.at(colon - 1) == QLatin1Char(']') : entry.count(QLatin1Char(':')) == 1)) {
            bool ok = false;
            const int port = entry.mid(colon + 1).toInt(&ok);
            if (!ok || port < 0 || port > 65535)
                return {};
            parsed.port = port;
            entry.truncate(colon);
        }
        if (bracketed && entry.endsWith(QLatin1Char(']')))
            entry = entry.mid(1, entry.size() - 2);
        parsed.host = entry;
        return parsed;
    }

    bool covers(const NoProxyEntry& entry, const QString& host, const QHostAddress& address)
    {
        if (!address.isNull()) {
            if (entry.host.contains(QLatin1Char('/')))
                return address.isInSubnet(QHostAddress::parseSubnet(entry.host));
            return QHostAddress(entry.host).isEqual(address);
        }
        QString name = bareName(entry.host);
        if (name.startsWith(QLatin1Char('.')))
            name.remove(0, 1);
        if (name.isEmpty())
            return false;
        return host == name || (host.endsWith(name) && host.at(host.size() - name.size() - 1) == QLatin1Char('.'));
    }

} // namespace

bool bypassesProxy(const QUrl& url, QStringView noProxy)
{
    if (noProxy.trimmed() == u"*")
        return true;
    const QString host = bareName(url.host());
    const QHostAddress address(host);
    const int port = url.port(url.scheme().toLower() == QLatin1String("https") ? 443 : 80);
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    for (const QString& text : noProxy.toString().split(separators, Qt::SkipEmptyParts)) {
        const NoProxyEntry entry = parseEntry(text);
        if (!entry.host.isEmpty() && (entry.port < 0 || entry.port == port) && covers(entry, host, address))
            return true;
    }
    return false;
}

QString noProxyList()
{
    return qEnvironmentVariableIsSet("no_proxy") ? qEnvironmentVariable("no_proxy") : qEnvironmentVariable("NO_PROXY");
}

} // namespace banner
