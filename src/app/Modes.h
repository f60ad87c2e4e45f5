#pragma once

#include <array>

namespace app {

// The twelve work modes: mode button, caption, Tag, page and page caption.
// Tag bits 0..5 give the page index, bit 6 marks a sensor page, bit 7 a
// controller page.
struct Mode {
    const char* button;
    const char* caption;
    int tag;
    const char* page;
    const char* pageCaption;
};

enum ModeTag {
    TagStat = 0,
    TagPStat = 1,
    TagCfg = 2,
    TagProp = 67,
    TagSDgr = 68,
    TagSUD = 69,
    TagKCfg = 134,
    TagAlarm = 71,
    TagCT = 136,
    TagKUD = 137,
    TagKStat = 138,
    TagDens = 75,
};

inline constexpr std::array<Mode, 12> kModes{{
    {"miSensStat", "Основное состояние датчиков.", TagStat, "tsStat", "ОБЩЕЕ"},
    {"MyMenuItem1", "Расширенное состояние датчиков.", TagPStat, "tsPStat", "РАСШИРЕННОЕ"},
    {"MyMenuItem2", "Конфигурации датчиков.", TagCfg, "tsCfg", "КОНФИГУРАЦИЯ"},
    {"miSProp", "Свойства датчиков.", TagProp, "tsProp", "СВОЙСТВА"},
    {"miSDgr", "Диаграммы датчиков.", TagSDgr, "tsSDgr", "ДИАГРАММА"},
    {"MyMenuItem6", "Обновление датчиков.", TagSUD, "tsSUD", "ОБНОВЛЕНИЕ"},
    {"miKipKfg", "Конфигурация КИПа.", TagKCfg, "tsKCfg", "КОНФИГУРАЦИЯ"},
    {"miAlarm", "Сигнализация.", TagAlarm, "tsAlarm", "СИГНАЛИЗАЦИЯ"},
    {"miCT", "Калибровочные таблицы.", TagCT, "tsCT", "КАЛИБРОВКИ"},
    {"miKipUd", "Обновление КИП.", TagKUD, "tsKUD", "ОБНОВЛЕНИЕ"},
    {"miKStat", "Состояние КИП.", TagKStat, "tsKStat", "СОСТОЯНИЕ"},
    {"miDens", "Состояние  плотномеров", TagDens, "tsDens", "ПЛОТНОМЕРЫ"},
}};

inline constexpr int pageOfTag(int tag) {
    return tag & 0x3F;
}
inline constexpr bool isSensorTag(int tag) {
    return (tag & 0x40) != 0;
}
inline constexpr bool isControllerTag(int tag) {
    return (tag & 0x80) != 0;
}
// Modes that work on a sensor behind its controller in transit.
inline constexpr bool needsTransit(int tag) {
    return tag == TagProp || tag == TagDens;
}
// Moving between the properties and the density pages keeps transit on.
inline constexpr bool keepsTransit(int fromTag, int toTag) {
    return (fromTag == TagProp && toTag == TagDens) || (fromTag == TagDens && toTag == TagProp);
}

} // namespace app
