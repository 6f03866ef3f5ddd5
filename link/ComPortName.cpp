#include "link/ComPortName.h"

#include <QFileInfo>
#include <algorithm>

QString DevicePathForPort(const QString& port, const QString& deviceDir) {
    static const QString prefix = QStringLiteral("COM");
    if (!port.startsWith(prefix))
        return QString();
    const QString rest = port.mid(prefix.size());
    if (rest.startsWith(u'/'))
        return rest;

    // Digits only: no sign, no blanks, nothing that toInt() would quietly accept.
    if (rest.isEmpty() ||
        !std::all_of(rest.cbegin(), rest.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return QString();
    bool ok = false;
    const int n = rest.toInt(&ok);
    if (!ok || n < 1)
        return QString();

    for (const char* family : {"ttyUSB", "ttyACM", "ttyS"}) {
        const QString path =
            deviceDir + u'/' + QString::fromLatin1(family) + QString::number(n - 1);
        if (QFileInfo::exists(path))
            return path;
    }
    return QString();
}
