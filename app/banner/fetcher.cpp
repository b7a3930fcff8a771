#include "fetcher.h"

#include "url_policy.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace banner
{

namespace
{

    // The desktop's proxy settings and http_proxy, as in a browser, save for
    // loopback, as Qt's own settings have it, and the hosts that no_proxy
    // names: Qt's own reading of no_proxy (libproxy's, on Debian) ignores "*"
    // and bare domains, where curl and wget go direct.
    class ProxyFactory : public QNetworkProxyFactory
    {
    public:
        QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
        {
            const QString host = query.url().host().toLower();
            const bool loopback = host == QLatin1String("localhost") || host.startsWith(QLatin1String("localhost."))
                || QHostAddress(host).isLoopback();
            if (loopback || bypassesProxy(query.url(), noProxyList()))
                return { QNetworkProxy(QNetworkProxy::NoProxy) };
            return systemProxyForQuery(query);
        }
    };

} // namespace

Fetcher::Fetcher(QObject* parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
    m_manager->setProxyFactory(new ProxyFactory);
    // Redirects are followed here, one fresh request a hop: Qt 6.4's own
    // following runs the hops' headers together and, after two hops on one
    // connection, can end with no page and no error.
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

// The replies die with the manager after this part of us is gone; none may
// report to it by then.
Fetcher::~Fetcher() { cancel(); }

void Fetcher::fetch(const QUrl& url, Done done)
{
    if (isWebUrl(url))
        return get(url, 0, QDeadlineTimer(m_totalTime), std::move(done));
    // Reported after returning, as any other failure is, by a timer of ours
    // that cancel() can still stop.
    auto* later = new QTimer(this);
    later->setSingleShot(true);
    connect(later, &QTimer::timeout, this, [later, url, done = std::move(done)] {
        later->deleteLater();
        done(Response { false, url, {}, {}, QStringLiteral("not an http or https address") });
    });
    later->start(0);
}

void Fetcher::cancel()
{
    for (QNetworkReply* reply : m_manager->findChildren<QNetworkReply*>()) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    // A refused address's report, queued but not yet made, goes too.
    for (QTimer* later : findChildren<QTimer*>(Qt::FindDirectChildrenOnly)) {
        later->stop();
        later->deleteLater();
    }
}

void Fetcher::get(const QUrl& url, int hops, QDeadlineTimer deadline, Done done)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_quietTime.count()));
    QNetworkReply* reply = m_manager->get(request);
    // A slow drip keeps the quiet timer happy; this one it cannot.
    QTimer::singleShot(
        std::chrono::ceil<std::chrono::milliseconds>(deadline.remainingTimeAsDuration()), reply, &QNetworkReply::abort);
    // Oversized answers are cut off as soon as they show it: by their
    // announced length, or by what has come in so far (after unpacking).
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxBodyBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::readyRead, this, [reply] {
        if (reply->bytesAvailable() > kMaxBodyBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this,
        [this, reply, hops, deadline, done = std::move(done)] { finished(reply, hops, deadline, done); });
}

void Fetcher::finished(QNetworkReply* reply, int hops, QDeadlineTimer deadline, const Done& done)
{
    reply->deleteLater();
    Response response { false, reply->url(), reply->rawHeader("Content-Type"), {}, {} };
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError) {
        response.error = reply->errorString();
    } else if (status >= 300 && status <= 399 && status != 304) {
        const QUrl location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        const QUrl next = redirectTarget(reply->url(), location, hops);
        if (!next.isEmpty())
            return get(next, hops + 1, deadline, done);
        response.error = QStringLiteral("redirect to %1 refused").arg(location.toString());
    } else if (status < 200 || status > 299) {
        response.error = QStringLiteral("HTTP status %1").arg(status);
    } else {
        response.ok = true;
        response.body = reply->readAll();
    }
    done(response);
}

} // namespace banner
