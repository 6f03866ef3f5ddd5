#pragma once

#include <QHostInfo>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

class QObject;

// The asynchronous name lookup behind the LAN client, kept behind a function so that tests can
// make a lookup fail without asking any nameserver.
//
// A lookup starts at once and hands its result to Done later, on the user-interface thread. When
// Context has been destroyed by then, Done is not called: that is how an abandoned lookup is
// dropped.
using TLookupDone = std::function<void(const QHostInfo& Info)>;
using THostLookup = std::function<void(const QString& Host, QObject* Context, TLookupDone Done)>;

// QHostInfo::lookupHost.
THostLookup SystemHostLookup();

// The address of a text made of exactly four decimal numbers 0..255 separated by dots, in host
// byte order; nothing for anything else (host names, and shorthand such as "10.1" that the
// resolver would also take as an address).
std::optional<quint32> DottedQuad(const QString& Host);

// The first IPv4 address of a successful lookup, in host byte order.
std::optional<quint32> FirstIPv4Address(const QHostInfo& Info);

// Why a lookup gave no usable address, in the resolver's own terms (getaddrinfo's EAI_ number and
// gai_strerror text).
struct TLookupFailure {
    int Code;
    QString Text;
};

// Only meaningful when the lookup failed or found no IPv4 address. Qt keeps its own error class
// and, for unusual failures, the resolver's text; the resolver's number is recovered from those.
TLookupFailure LookupFailureOf(const QHostInfo& Info);
