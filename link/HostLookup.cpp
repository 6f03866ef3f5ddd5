#include "link/HostLookup.h"

#include <netdb.h>
#include <QHostAddress>
#include <QObject>
#include <utility>

THostLookup SystemHostLookup() {
    return [](const QString& Host, QObject* Context, TLookupDone Done) {
        QHostInfo::lookupHost(Host, Context, std::move(Done));
    };
}

std::optional<quint32> DottedQuad(const QString& Host) {
    const QStringList parts = Host.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    quint32 address = 0;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return std::nullopt;
        for (const QChar c : part) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
        }
        const uint value = part.toUInt();
        if (value > 255)
            return std::nullopt;
        address = (address << 8) | value;
    }
    return address;
}

std::optional<quint32> FirstIPv4Address(const QHostInfo& Info) {
    if (Info.error() != QHostInfo::NoError)
        return std::nullopt;
    for (const QHostAddress& address : Info.addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address.toIPv4Address();
    }
    return std::nullopt;
}

namespace {

QString ResolverText(int code) {
    return QString::fromLocal8Bit(gai_strerror(code));
}

}  // namespace

TLookupFailure LookupFailureOf(const QHostInfo& Info) {
    switch (Info.error()) {
        case QHostInfo::NoError:
            // Resolved, but only to addresses of another family: what getaddrinfo says when asked
            // for IPv4 alone.
            return {EAI_ADDRFAMILY, ResolverText(EAI_ADDRFAMILY)};
        case QHostInfo::HostNotFound:
            // Qt folds "no such name", "permanent failure" and "no data" into one class with a text
            // of its own; the resolver's usual answer for an unknown name stands for all three.
            return {EAI_NONAME, ResolverText(EAI_NONAME)};
        case QHostInfo::UnknownError:
            break;
    }
    // Qt passes the resolver's text through for every other failure; find the number it belongs to.
    static const int codes[] = {
        EAI_AGAIN,      EAI_BADFLAGS, EAI_FAIL,        EAI_FAMILY,   EAI_MEMORY, EAI_NONAME,
        EAI_SERVICE,    EAI_SOCKTYPE, EAI_SYSTEM,      EAI_OVERFLOW, EAI_NODATA, EAI_ADDRFAMILY,
        EAI_INPROGRESS, EAI_CANCELED, EAI_NOTCANCELED, EAI_ALLDONE,  EAI_INTR,   EAI_IDN_ENCODE};
    for (int code : codes) {
        if (ResolverText(code) == Info.errorString())
            return {code, Info.errorString()};
    }
    return {EAI_FAIL, Info.errorString()};
}
