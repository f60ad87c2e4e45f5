#include "sensor/StatusDecoder.h"

#include <QStringList>

namespace sensor {
namespace {

// name=value, one line per code. The quotes inside 86, A0 and C0 belong to
// the texts; the В in BA is Cyrillic.
const char* const kCodeTable =
    "81=НЕТ ПИЛЫ| отказ генератора.\n"
    "82=НЕТ ВОЗВРАТА | разъёмы от головы до сенсора; разрушение покрытия сенсора.\n"
    "83=НЕТ РАСКРЫВА | разъёмы от головы до сенсора; разрушение покрытия сенсора.\n"
    "84=ПРЕРВАНО КАНАЛОМ | во время сканирования сенсора работал канал связи.\n"
    "85=ЕСТЬ ЗАНУЛЁННЫЕ СЕГМЕНТЫ | нет раскрыва на отдельных сегментах - дефект покрытия; обрыв "
    "дорожек.\n"
    "86=ОШИБКА РАСЧЁТА |\"мусор\" в \"сухих/мокрых\" кодах.\n"
    "88=РАЗМЕР | размер сенсора не определился сканированием и взят из памяти.\n"
    "8B=НЕТ ВОЗВРАТА|РАЗМЕР ИЗ ПАМЯТИ|НЕТ РАСКРЫВА\n"
    "90=НЕТ ID | для данной точки отсутствует идентификатор термометра.\n"
    "91=НЕТ ПРИСУТСТВИЯ | нет термометров или обрыв линии.\n"
    "92=НЕТ ОТВЕТА | термометра с таким идентификатором нет на линии.\n"
    "93=СБОЙ CRC | сбой на линии.\n"
    "94=БУФЕР | внутренняя ошибка головы\n"
    "95=ТЕРМОМЕТР СУХОЙ | термометр выше уровня продукта.\n"
    "A0=ОТКАЗ КАНАЛА СВЯЗИ | линия связи закорочена на \"землю\" или \"питание\".\n"
    "A1=ОТКАЗ СРЕДИ ТЕРМОМЕТРОВ, |НЕОБХОДИМЫХ ДЛЯ РАСЧЁТА\n"
    "A2=ОТКАЗ ВСЕХ ТЕРМОМЕТРОВ\n"
    "A3=ИДЁТ ИЗМЕРЕНИЕ| данные от термометра ещё не получены.\n"
    "A4=ОТКАЗ СРЕДИ ТЕРМОМЕТРОВ, |НЕОБХОДИМЫХ ДЛЯ РАСЧЁТА | на ранних версиях контроллера\n"
    "A5=ВСЕ ТЕРМОМЕТРЫ СУХИЕ\n"
    "B0=НЕТ ID | для данной точки отсутствует идентификатор плотномера.\n"
    "B1=НЕТ ПРИСУТСТВИЯ | нет плотномеров или обрыв линии\n"
    "B2=НЕТ ОТВЕТА | плотномера с таким идентификатором нет на линии.\n"
    "B3=СБОЙ CRC | сбой на линии.\n"
    "B4=НЕ ИНИЦИАЛИЗИРОВАН | поправка по плотности равна нулю\n"
    "B5=ПЛОТНОМЕР СУХОЙ | плотномер выше уровня продукта.\n"
    "B6=ИДЁТ НАЛИВ\n"
    "B7=ПАУЗА| ПОСЛЕ СБРОСА ПИТАНИЯ\n"
    "B8=РАСПРОСТРАНЕНИЕ| ПЛОТНОСТИ И ТЕМПЕРАТУРЫ\n"
    "B9=ПЛОТНОСТЬ <1\n"
    "BA=СБРОС ПИТАНИЯ | по ошибке В2 или В9\n"
    "BB=ПАУЗА ПОСЛЕ НАЛИВА | определяется по статусу плотномера\n"
    "C0=ОТКАЗ КАНАЛА СВЯЗИ | линия связи закорочена на \"землю\" или \"питание\".\n"
    "C1=ОТКАЗ СРЕДИ ПЛОТНОМЕРОВ, |НЕОБХОДИМЫХ ДЛЯ РАСЧЁТА\n"
    "C2=ОТКАЗ ВСЕХ ПЛОТНОМЕРОВ\n"
    "C3=ИДЁТ ИЗМЕРЕНИЕ| данные от плотномера ещё не получены.\n"
    "C4=ОТКАЗ СРЕДИ ПЛОТНОМЕРОВ, |НЕОБХОДИМЫХ ДЛЯ РАСЧЁТА | на ранних версиях контроллера\n"
    "C5=ВСЕ ПЛОТНОМЕРЫ СУХИЕ\n"
    "FE=ОШИБКА В ТАБЛИЦЕ: объём воды больше общего объёма\n"
    "FF=НЕТ ТАБЛИЦЫ";

} // namespace

StatusDecoder::StatusDecoder() {
    for (const QString& line : QString::fromUtf8(kCodeTable).split(QLatin1Char('\n'))) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        m_table.emplace_back(line.left(eq), line.mid(eq + 1));
    }
}

QString StatusDecoder::DecodeCode(std::uint8_t code, bool full) const {
    return DecodeCodeText(QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper(), full);
}

QString StatusDecoder::DecodeCodeText(const QString& hex, bool full) const {
    // Every code 0x00..0x0F is normal.
    if (hex.startsWith(QLatin1Char('0')))
        return QStringLiteral("В НОРМЕ");
    QString text;
    for (const auto& [name, value] : m_table) {
        if (name.compare(hex, Qt::CaseInsensitive) == 0) {
            text = value;
            break;
        }
    }
    if (!full) {
        const qsizetype bar = text.indexOf(QLatin1Char('|'));
        if (bar >= 0)
            text.truncate(bar);
    }
    return text;
}

QString StatusDecoder::DecodeStatusPair(const QString& pair) const {
    if (pair.size() <= 4)
        return {};
    const QString s1 = pair.mid(0, 2);
    const QString s2 = pair.mid(3, 2);
    bool ok = false;
    const int flags = s1.toInt(&ok, 16);
    // S2 first: without a sensor the summary means nothing.
    if (s2 == QLatin1String("00"))
        return QStringLiteral("ДАТЧИКА С ТАКИМ АДРЕСОМ НЕТ");
    if (s1 == QLatin1String("00"))
        return QStringLiteral("ДАТЧИК В НОРМЕ");
    QString text = QStringLiteral("СМОТРИТЕ ");
    if (!ok)
        return text;
    if (flags & 1)
        text += QStringLiteral("УРОВЕНЬ");
    if (flags & 2)
        text += QStringLiteral(" ТЕМПЕРАТУРУ");
    if (flags & 4)
        text += QStringLiteral(" ПЛОТНОСТЬ");
    return text;
}

} // namespace sensor
