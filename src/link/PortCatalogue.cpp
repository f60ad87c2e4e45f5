#include "link/PortCatalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace bus {

bool naturalLess(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i;
            qsizetype ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            const qulonglong x = a.mid(i, ei - i).toULongLong();
            const qulonglong y = b.mid(j, ej - j).toULongLong();
            if (x != y)
                return x < y;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

bool isPhantomSerial(const QString& sysfsRoot, const QString& name) {
    if (!name.startsWith(QLatin1String("ttyS")))
        return false;
    QFile type(QDir(sysfsRoot).filePath(QStringLiteral("class/tty/%1/type").arg(name)));
    if (!type.open(QIODevice::ReadOnly))
        return false; // nothing known: offered
    return type.readAll().trimmed() == "0";
}

QStringList stableNamesOf(const QString& byIdFolder, const QString& devicePath) {
    QStringList names;
    const QString target = QFileInfo(devicePath).canonicalFilePath();
    if (target.isEmpty())
        return names;
    for (const QFileInfo& link : QDir(byIdFolder).entryInfoList(QDir::System | QDir::Files))
        if (link.isSymLink() && link.canonicalFilePath() == target)
            names << link.absoluteFilePath();
    names.sort();
    return names;
}

std::vector<PortEntry> listSerialPorts(const QString& sysfsRoot, const QString& byIdFolder) {
    std::vector<PortEntry> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (isPhantomSerial(sysfsRoot, info.portName()))
            continue;
        QStringList known;
        for (const QString& k : {info.description(), info.manufacturer(), info.serialNumber()})
            if (!k.isEmpty())
                known << k;
        devices.push_back({info.systemLocation(), known.join(QStringLiteral(", "))});
    }
    std::sort(devices.begin(), devices.end(),
              [](const PortEntry& a, const PortEntry& b) { return naturalLess(a.path, b.path); });
    // Each device, then the stable names that lead to it.
    std::vector<PortEntry> ports;
    for (const PortEntry& d : devices) {
        ports.push_back(d);
        for (const QString& stable : stableNamesOf(byIdFolder, d.path))
            ports.push_back({stable, d.detail});
    }
    return ports;
}

} // namespace bus
