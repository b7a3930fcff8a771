// The environment's no_proxy list, whatever it holds. Lists built from the
// bytes out of a few labels, addresses and ports are checked against a small
// model of the rules url_policy.h states, kept apart from the code's own
// parsing: a lone "*" covers every host; a name covers itself and the hosts
// under it, whatever its case and leading or trailing dot; an address or
// network covers hosts given as addresses; a port limits an entry to it.
// The bytes as a list of their own must never cover a host that neither
// half of the list covers, nor miss one that a half covers.

#include "check.h"

#include "banner/url_policy.h"

#include <QHostAddress>

#include <cstdint>
#include <iterator>

namespace
{

// The bytes, read one small choice at a time; zeros once they run out.
class Choices
{
public:
    Choices(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    int next(int count) { return m_at < m_size ? m_data[m_at++] % count : 0; }
    QByteArray rest() const
    {
        return QByteArray(reinterpret_cast<const char*>(m_data + m_at), qsizetype(m_size - m_at));
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

const QString kLabels[] = { "a", "b", "example", "glimra-maker" };
const QString kAddresses[] = { "127.0.0.1", "10.1.2.3", "::1", "fd00::5" };
const QString kNetworks[] = { "127.0.0.0/8", "10.0.0.0/16", "fd00::/8", "::1/128" };
const int kPorts[] = { -1, 80, 443, 8080 };

struct Host {
    QStringList labels; // a name's, most significant last; empty for an address
    QString address;
};

bool modelCovers(const Host& host, int port, const QStringList& entryLabels, const QString& entryAddress,
    const QString& entryNetwork, int entryPort)
{
    if (entryPort >= 0 && entryPort != port)
        return false;
    if (!host.address.isEmpty()) {
        const QHostAddress address(host.address);
        if (!entryNetwork.isEmpty())
            return address.isInSubnet(QHostAddress::parseSubnet(entryNetwork));
        return !entryAddress.isEmpty() && QHostAddress(entryAddress).isEqual(address);
    }
    if (entryLabels.isEmpty() || entryLabels.size() > host.labels.size())
        return false;
    return host.labels.mid(host.labels.size() - entryLabels.size()) == entryLabels;
}

void checkModel(Choices& choose)
{
    Host host;
    if (choose.next(3) == 0) {
        host.address = kAddresses[choose.next(std::size(kAddresses))];
    } else {
        for (int n = 1 + choose.next(4); n > 0; --n)
            host.labels += kLabels[choose.next(std::size(kLabels))];
    }
    const bool https = choose.next(2);
    const int explicitPort = kPorts[choose.next(std::size(kPorts))];
    const int port = explicitPort >= 0 ? explicitPort : https ? 443 : 80;
    QUrl url;
    url.setScheme(https ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(host.address.isEmpty() ? host.labels.join(u'.') : host.address);
    url.setPort(explicitPort);

    const QString separators[] = { ",", " ", ", ", "\t", ",," };
    QString list;
    bool covered = false;
    bool star = false;
    for (int n = choose.next(5); n > 0; --n) {
        QStringList labels;
        QString address, network, text;
        const int kind = choose.next(4);
        if (kind == 0) {
            address = kAddresses[choose.next(std::size(kAddresses))];
            text = address;
        } else if (kind == 1) {
            network = kNetworks[choose.next(std::size(kNetworks))];
            text = network;
        } else {
            for (int m = 1 + choose.next(3); m > 0; --m)
                labels += kLabels[choose.next(std::size(kLabels))];
            text = labels.join(u'.');
            if (choose.next(2))
                text = text.toUpper();
            if (choose.next(3) == 0)
                text.prepend(u'.');
            if (choose.next(3) == 0)
                text.append(u'.');
        }
        const int entryPort = network.isEmpty() ? kPorts[choose.next(std::size(kPorts))] : -1;
        if (entryPort >= 0)
            text = (address.contains(u':') ? u'[' + text + u']' : text) + u':' + QString::number(entryPort);
        if (choose.next(8) == 0) {
            text = QStringLiteral("*");
            star = true;
        } else {
            covered = covered || modelCovers(host, port, labels, address, network, entryPort);
        }
        if (!list.isEmpty())
            list += separators[choose.next(int(std::size(separators)))];
        list += text;
    }
    if (star && list == u"*")
        covered = true;
    const bool bypasses = banner::bypassesProxy(url, list);
    if (bypasses != covered)
        std::fprintf(stderr, "%s, no_proxy \"%s\"\n", qPrintable(url.toString()), qPrintable(list));
    FUZZ_CHECK(bypasses == covered);
}

// Two halves of any list, joined by a comma, cover what either covers.
void checkJoin(Choices& choose)
{
    const QString text = QString::fromUtf8(choose.rest());
    const QString head = text.left(text.size() / 2);
    const QString tail = text.mid(text.size() / 2);
    if (head.trimmed() == u"*" || tail.trimmed() == u"*")
        return;
    for (const char* address :
        { "http://a.example/", "https://glimra-maker.example:8080/", "http://10.1.2.3/", "http://[::1]:80/" }) {
        const QUrl url(QString::fromLatin1(address));
        FUZZ_CHECK(banner::bypassesProxy(url, QString(head + u',' + tail))
            == (banner::bypassesProxy(url, head) || banner::bypassesProxy(url, tail)));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Choices choose(data, size);
    if (choose.next(2))
        checkModel(choose);
    else
        checkJoin(choose);
    return 0;
}
