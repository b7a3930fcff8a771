#pragma once

// Where the banner may go: which addresses it fetches, follows and opens.
// Everything else a page names (file:, qrc:, data:, javascript:, mailto:,
// ...) is refused, so nothing is ever read from the disk on its behalf.

#include <QUrl>

namespace banner
{

// Absolute http or https with a host.
bool isWebUrl(const QUrl& url);

// A reference on a page, made absolute against the page's address; an
// empty address when the result is not a web address.
QUrl webReference(const QUrl& base, const QString& reference);

// Where a link on the page leads: a web address elsewhere, or an empty
// address (off the web, or only a place on the page itself).
QUrl linkTarget(const QUrl& page, const QString& href);

// Where a redirect from `from` to `location` may lead after `hops` earlier
// redirects: the absolute target, or an empty address when it goes off the
// web, down from https to http, or one hop too far.
QUrl redirectTarget(const QUrl& from, const QUrl& location, int hops);

inline constexpr int kMaxRedirects = 5;

// Whether a request to `url` goes around the proxy by `noProxy`, a no_proxy
// list read as curl reads it: a lone "*" covers every host; otherwise names
// apart by commas or blanks, each covering that host and every host under it
// (a leading or trailing dot changes nothing, "example" covers a.example),
// addresses and networks (10.0.0.0/8, ::1) covering hosts given as
// addresses. Beyond curl, a name or address with a port covers that port only.
bool bypassesProxy(const QUrl& url, QStringView noProxy);

// The no_proxy list of the environment: no_proxy, else NO_PROXY.
QString noProxyList();

} // namespace banner
