#pragma once

// Fetches banner resources over the network without ever blocking: one GET
// per call, redirects followed by hand within the URL policy, every answer
// cut off at kMaxBodyBytes, after kMaxQuietTime without a byte and after
// kMaxTotalTime in all. The desktop's proxy settings apply, and no_proxy as
// curl reads it.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

namespace banner
{

inline constexpr qint64 kMaxBodyBytes = 1024 * 1024;
inline constexpr std::chrono::milliseconds kMaxQuietTime { 10000 };
inline constexpr std::chrono::milliseconds kMaxTotalTime { 20000 };

struct Response {
    bool ok = false; // a 2xx answer, read whole, from a web address
    QUrl url; // where the answer finally came from
    QByteArray contentType;
    QByteArray body;
    QString error; // why not, when not ok
};

class Fetcher : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(const Response&)>;

    explicit Fetcher(QObject* parent = nullptr);
    ~Fetcher() override;

    // Starts fetching and returns at once; `done` is called once, later,
    // unless cancel() comes first. An address off the web fails the same way.
    void fetch(const QUrl& url, Done done);
    // Drops every fetch under way; none of them reports.
    void cancel();

    // For tests, which cannot wait that long for a silent server.
    void setTimeLimits(std::chrono::milliseconds quiet, std::chrono::milliseconds total)
    {
        m_quietTime = quiet;
        m_totalTime = total;
    }

private:
    // One hop; `deadline` holds for all hops of one fetch.
    void get(const QUrl& url, int hops, QDeadlineTimer deadline, Done done);
    void finished(QNetworkReply* reply, int hops, QDeadlineTimer deadline, const Done& done);

    QNetworkAccessManager* m_manager;
    std::chrono::milliseconds m_quietTime = kMaxQuietTime;
    std::chrono::milliseconds m_totalTime = kMaxTotalTime;
};

} // namespace banner
