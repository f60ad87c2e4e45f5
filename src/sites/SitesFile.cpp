#include "sites/SitesFile.h"

#include "app/ControllerTypes.h"
#include "app/FileReader.h"
#include "app/LayoutConfig.h"
#include "link/TcpPortDevice.h"

#include <QDir>
#include <QStandardPaths>
#include <QStringDecoder>

#include <set>

namespace sites {
namespace {

// A list of sites, not a database: anything larger is not one.
constexpr qint64 kMaxSitesBytes = 4 * 1024 * 1024;

std::optional<qint64> number(const QString& text, qint64 low, qint64 high) {
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    if (!ok || v < low || v > high)
        return std::nullopt;
    return v;
}

// "first,count" with both in range; a bare number is the count, as the
// configuration file has it.
bool pairInRange(const QString& value, qint64 firstHigh, qint64 secondHigh) {
    const auto [first, second] = app::splitPair(value);
    return (first.isNull() || number(first, 0, firstHigh)) && number(second, 0, secondHigh);
}

// What is wrong with a value of key; empty when nothing is.
QString valueProblem(const QString& key, const QString& value) {
    if (key == QLatin1String("line")) {
        if (value.isEmpty())
            return QStringLiteral("line: не задана линия");
        if (bus::isRemotePortName(value)) {
            const auto remote = bus::remoteLineOf(value);
            if (!remote || remote->port == 0 || remote->host.isEmpty())
                return QStringLiteral("line: нужен адрес вида tcp://HOST:PORT или "
                                      "rfc2217://HOST:PORT");
        }
        return {};
    }
    if (key == QLatin1String("every"))
        return number(value, 1, kMaxEverySeconds)
                   ? QString()
                   : QStringLiteral("every: нужно число секунд от 1 до %1").arg(kMaxEverySeconds);
    if (key == QLatin1String("KIP_TYP"))
        return number(value, 0, 5) ? QString() : QStringLiteral("KIP_TYP: нужен тип КИП 0..5");
    if (key == QLatin1String("KIP_NUM"))
        return pairInRange(value, app::kControllerSlots, 0xFFFFFFFFLL)
                   ? QString()
                   : QStringLiteral("KIP_NUM: нужно \"найдено,маска\"");
    if (key == QLatin1String("KIP_B"))
        return value.isEmpty() || pairInRange(value, 127, 128)
                   ? QString()
                   : QStringLiteral("KIP_B: нужно \"первый адрес,число датчиков\" или пусто");
    // KIPn
    return pairInRange(value, 127, 128)
               ? QString()
               : QStringLiteral("%1: нужно \"первый адрес,число датчиков\"").arg(key);
}

bool isControllerKey(const QString& key) {
    if (!key.startsWith(QLatin1String("KIP")) || key.size() < 4)
        return false;
    const auto n = number(key.mid(3), 1, app::kControllerSlots);
    return n && !key.mid(3).startsWith(QLatin1Char('0')) && key.mid(3).toInt() == *n;
}

bool isKnownKey(const QString& key) {
    return key == QLatin1String("line") || key == QLatin1String("every") ||
           key == QLatin1String("KIP_TYP") || key == QLatin1String("KIP_NUM") ||
           key == QLatin1String("KIP_B") || isControllerKey(key);
}

} // namespace

const Site* SitesFile::find(const QString& name) const {
    for (const Site& s : sites)
        if (s.name == name)
            return &s;
    return nullptr;
}

QString defaultSitesPath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(folder).filePath(QStringLiteral("orvant2/sites.cfg"));
}

std::optional<SitesFile> loadSites(const QString& path, QString* error) {
    const app::FileRead in = app::readRegularFile(path, kMaxSitesBytes);
    if (!in.result.ok()) {
        *error = in.result.message();
        return std::nullopt;
    }
    return parseSites(in.bytes, path, error);
}

std::optional<SitesFile> parseSites(const QByteArray& bytes, const QString& path, QString* error) {
    SitesFile file;
    file.path = path;
    QStringList problems;
    auto problem = [&](int lineNumber, const QString& what) {
        problems << QStringLiteral("%1: строка %2: %3").arg(path).arg(lineNumber).arg(what);
    };
    Site* site = nullptr;
    std::set<QString> keys; // of the site being read
    bool headerSeen = false;
    auto finish = [&] {
        // A refused line= was said already.
        if (site && keys.count(QStringLiteral("line")) == 0)
            problem(site->lineNumber,
                    QStringLiteral("у объекта \"%1\" нет строки line=").arg(site->name));
    };
    QByteArray text = bytes;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNumber = i + 1;
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString line = QString(utf8(lines[i])).trimmed();
        if (utf8.hasError()) {
            problem(lineNumber, QStringLiteral("текст не в UTF-8"));
            // A site's header all the same: its lines are not said again.
            if (lines[i].trimmed().startsWith('[')) {
                finish();
                headerSeen = true;
                site = nullptr;
                keys.clear();
            }
            continue;
        }
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            headerSeen = true;
            if (!line.endsWith(QLatin1Char(']'))) {
                problem(lineNumber, QStringLiteral("нет \"]\" после имени объекта"));
                continue;
            }
            finish();
            const QString name = line.mid(1, line.size() - 2).trimmed();
            site = nullptr;
            keys.clear();
            if (name.isEmpty()) {
                problem(lineNumber, QStringLiteral("пустое имя объекта"));
                continue;
            }
            if (const Site* same = file.find(name)) {
                problem(lineNumber, QStringLiteral("объект \"%1\" уже есть в строке %2")
                                        .arg(name)
                                        .arg(same->lineNumber));
                continue;
            }
            file.sites.push_back({name, {}, kDefaultEverySeconds, {}, lineNumber});
            site = &file.sites.back();
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            problem(lineNumber, QStringLiteral("нужно [ИМЯ] или КЛЮЧ=ЗНАЧЕНИЕ"));
            continue;
        }
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (!isKnownKey(key)) {
            problem(lineNumber, QStringLiteral("неизвестный ключ %1 (бывают line=, every= и "
                                               "KIP_TYP, KIP_NUM, KIP_B, KIP1..KIP32)")
                                    .arg(key));
            continue;
        }
        if (!headerSeen) {
            problem(lineNumber, QStringLiteral("%1 до первого [ИМЯ] объекта").arg(key));
            continue;
        }
        if (!site)
            continue; // the header was refused already
        if (!keys.insert(key).second) {
            problem(lineNumber,
                    QStringLiteral("%1 второй раз у объекта \"%2\"").arg(key, site->name));
            continue;
        }
        if (const QString why = valueProblem(key, value); !why.isEmpty()) {
            problem(lineNumber, why);
            continue;
        }
        if (key == QLatin1String("line"))
            site->line = bus::isRemotePortName(value) ? value : app::portFromConfig(value);
        else if (key == QLatin1String("every"))
            site->everySeconds = value.toInt();
        else
            site->entries.emplace_back(key, value);
    }
    finish();
    if (!problems.isEmpty()) {
        *error = problems.join(QLatin1Char('\n'));
        return std::nullopt;
    }
    return file;
}

} // namespace sites
