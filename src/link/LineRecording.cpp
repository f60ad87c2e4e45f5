#include "link/LineRecording.h"

#include <QDateTime>

#include <algorithm>
#include <cctype>

namespace bus {
namespace {

// Tabs and line ends inside a text would break the record.
QByteArray escaped(const QString& text) {
    QByteArray out;
    for (char c : text.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

QString unescaped(const QByteArray& text) {
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return QString::fromUtf8(out);
}

// The monitor's line without its time and without the raw characters,
// which the record holds in hex.
QString described(const QString& line) {
    QString d = line.mid(13);
    if (d.startsWith(QLatin1String("> ")) || d.startsWith(QLatin1String("< ")))
        d = d.mid(2);
    const qsizetype raw = d.indexOf(QLatin1String("  | "));
    return raw < 0 ? d : d.left(raw);
}

const QString kName = QStringLiteral("name=");

} // namespace

LineRecorder::LineRecorder(const QString& portName)
    : m_start(QDateTime::currentMSecsSinceEpoch()),
      m_monitor([this](const QString& line) { m_said = line; }) {
    m_lines << kRecordingHeader << "# MS\tKIND\tHEX\tTEXT (see the README, \"Line recordings\")";
    add(m_start, QStringLiteral("port"), {},
        kName + portName + QStringLiteral("; settings=") + kLineSettings +
            QStringLiteral("; start=") +
            QDateTime::fromMSecsSinceEpoch(m_start).toString(Qt::ISODateWithMs));
}

void LineRecorder::add(qint64 at, const QString& kind, QByteArrayView bytes, const QString& text) {
    m_lines << QByteArray::number(std::max<qint64>(at - m_start, 0)) + '\t' + kind.toLatin1() +
                   '\t' + bytes.toByteArray().toHex().toUpper() + '\t' + escaped(text);
}

void LineRecorder::frameSent(qint64 ms, QByteArrayView frame) {
    m_monitor.frameSent(ms, frame);
    add(ms, QStringLiteral(">"), frame, described(m_said));
}

void LineRecorder::charactersReceived(qint64 ms, QByteArrayView chars) {
    m_monitor.charactersReceived(ms, chars);
    add(ms, QStringLiteral("<"), chars, QString::fromLatin1(printableChars(chars)));
}

void LineRecorder::answerTaken(qint64 ms, Outcome outcome, int length) {
    if (outcome == Outcome::ReadOnly)
        return;
    m_monitor.answerTaken(ms, outcome, length);
    add(ms, QStringLiteral("="), {}, described(m_said));
}

void LineRecorder::idled(qint64 ms, int pauseMs) {
    add(ms, QStringLiteral("."), {}, QString::number(pauseMs));
}

void LineRecorder::requestResumed(std::uint8_t address, std::uint8_t command) {
    m_monitor.requestResumed(address, command);
}

void LineRecorder::writeRefused(qint64 ms, std::uint8_t address, std::uint8_t command) {
    m_monitor.writeRefused(ms, address, command);
    add(ms, QStringLiteral("!"), {}, described(m_said));
}

void LineRecorder::note(const QString& kind, const QString& text) {
    add(QDateTime::currentMSecsSinceEpoch(), kind, {}, text);
}

QByteArray LineRecorder::text() const {
    return m_lines.join('\n') + '\n';
}

std::optional<Recording> parseRecording(const QByteArray& text, QString* error) {
    const QList<QByteArray> rows = text.split('\n');
    if (rows.isEmpty() || rows.first().trimmed() != kRecordingHeader) {
        *error = QStringLiteral("не запись обмена (нет строки \"%1\")")
                     .arg(QString::fromLatin1(kRecordingHeader));
        return std::nullopt;
    }
    Recording r;
    for (int i = 1; i < rows.size(); ++i) {
        QByteArray row = rows[i];
        if (row.endsWith('\r'))
            row.chop(1);
        if (row.isEmpty() || row.startsWith('#'))
            continue;
        const QList<QByteArray> f = row.split('\t');
        bool ok = false;
        RecordLine line;
        line.ms = f.value(0).toLongLong(&ok);
        const QByteArray hex = f.value(2);
        const bool hexOk = hex.size() % 2 == 0 &&
                           std::all_of(hex.begin(), hex.end(), [](char c) { return isxdigit(c); });
        if (f.size() != 4 || !ok || line.ms < 0 || !hexOk) {
            *error =
                QStringLiteral("строка %1: не запись вида МС<TAB>ВИД<TAB>HEX<TAB>ТЕКСТ").arg(i + 1);
            return std::nullopt;
        }
        line.kind = QString::fromLatin1(f[1]);
        line.bytes = QByteArray::fromHex(hex);
        line.text = unescaped(f[3]);
        if (line.kind == QLatin1String("port")) {
            const QString t = line.text;
            r.port = t.mid(kName.size(), t.indexOf(QLatin1Char(';')) - kName.size());
        } else if (line.kind == QLatin1String("words")) {
            r.words = line.text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        }
        r.lines << line;
    }
    return r;
}

RecordedAnswers::RecordedAnswers(const Recording& recording) {
    QByteArray request;
    qint64 sentAt = 0;
    Answer answer;
    bool open = false;
    auto close = [&] {
        if (open)
            m_answers[request].append(answer);
        open = false;
    };
    for (const RecordLine& l : recording.lines) {
        if (l.kind == QLatin1String(">")) {
            close();
            request = l.bytes;
            sentAt = l.ms;
            answer = {};
            open = true;
        } else if (l.kind == QLatin1String("<") && open) {
            if (answer.chars.isEmpty())
                answer.delayMs = static_cast<int>(l.ms - sentAt);
            answer.chars += l.bytes;
        }
    }
    close();
}

std::optional<RecordedAnswers::Answer> RecordedAnswers::next(const QByteArray& request) {
    const auto it = m_answers.find(request);
    if (it == m_answers.end() || it->second.isEmpty())
        return std::nullopt;
    return it->second.takeFirst();
}

} // namespace bus
