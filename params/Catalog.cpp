// The table of the 50 catalog entries, in the order the window shows them:
// the address record, the five common commands, then the controller's
// parameters (the limit-card code first, then the bulk range).
#include <iterator>
#include <span>

#include "ParameterUnit.h"

namespace {

// Value names: entry i names raw value i.
constexpr const char* kOnOff[] = {"0-Выключить", "1-Включить"};
constexpr const char* kResetAll[] = {"0-Сбросить"};
constexpr const char* kHoseModes[] = {"0-Откл.", "1-Первая сторона", "2-Вторая сторона"};
constexpr const char* kFlowSensors[] = {"0-Одноканальный",
                                        "1-Двухканальный",
                                        "2-Одноканальный на второй вход",
                                        "3-Двухканальный без диагностики",
                                        "4-Двухканальный обратного вращения",
                                        "5-Двухканальный обратного вращения без диагностики"};
constexpr const char* kStartButtons[] = {
    "0-Тип 1", "1-Тип 2", "2-Тип 3", "3-Тип 4", "4-кнопка отсутствует", "5-Тип 5"};
constexpr const char* kNoYes[] = {"0-нет", "1-есть"};
constexpr const char* kDisplayModes[] = {"0-стандартный",
                                         "1-расширенный(отображение плотности и пр.)",
                                         "2-технологический(отображение долей литра)"};
constexpr const char* kValveTypes[] = {"0-клапан двойного действия 220В", "1-резерв",
                                       "2-клапаны отсечки и снижения 110В"};
constexpr const char* kTemperatureSensors[] = {"0-отключен", "1-ТСМ-100", "2-ТСП-100"};
constexpr const char* kSensorHealthPolarities[] = {"0-ДПН исправен, если ток на входе есть",
                                                   "1-ДПН исправен, если тока на входе нет",
                                                   "2-сигнал отсутствует"};
constexpr const char* kDensitySources[] = {"0-отсутствует", "1-ручной", "2-автоматический",
                                           "3-термокоррекция"};
constexpr const char* kPumpStatePolarities[] = {"0-насос включен, если ток на входе есть",
                                                "1-насос включен, если тока на входе нет",
                                                "2-сигнал отсутствует"};
constexpr const char* kPostTypes[] = {"0-пост налива", "1-пост приема"};
constexpr const char* kSensorPolarities[] = {"0-ДПН есть, если ток на входе есть",
                                             "1-ДПН есть, если тока на входе нет",
                                             "2-сигнал отсутствует", "3-датчик \"Метран\""};
constexpr const char* kOffOn[] = {"0-Отключено", "1-Включено"};

struct TRecordRow {
  uint8_t Code;
  uint8_t Digits;
  uint8_t Decimals;
  const char* Caption;
  const char* Units;
  int64_t Value;
  int64_t MinValue;
  int64_t MaxValue;
  TParamKind Kind;
  uint8_t TabIndex;
  bool SkipOnWriteAll;
  std::span<const char* const> ValueNames;
};

// Code, Digits, Decimals, Caption, Units, initial Value, MinValue, MaxValue,
// Kind, TabIndex, SkipOnWriteAll, value names.
//
// The "C" starting the units of codes 14 and 35 and the "c" ending "мл/c" are
// Latin letters and stay so; every other C-like letter is Cyrillic. Code 16
// starts at 750000, above its own upper limit: write-all before any read sends
// it as it stands, so it is kept.
// clang-format off
constexpr TRecordRow kCatalog[] = {
    {0, 2, 0, "Программирование сетевого адреса", "", 0, 0, 99, pkAddress, 1, false, {}},
    {0, 1, 0, "(общий) Подсветка", "", 0, 0, 1, pkCommonList, 0, false, kOnOff},
    {1, 1, 0, "(общий) Отображение ID-номера и сетевого адреса на табло ТРК", "", 0, 0, 1, pkCommonList, 0, false, kOnOff},
    {2, 1, 0, "(общий) Тест индикации ТРК", "", 0, 0, 1, pkCommonList, 0, false, kOnOff},
    {4, 1, 0, "(общий) Общий сброс всех ТРК", "", 0, 0, 0, pkCommonList, 0, false, kResetAll},
    {5, 1, 0, "(общий) Внешнее освещение", "", 0, 0, 0, pkCommonList, 0, false, kOnOff},
    {1, 15, 0, "Код лимитной карты", "", 0, 0, 999999999999999, pkNumber, 2, false, {}},
    {2, 1, 0, "Режим работы рукава", "", 0, 0, 2, pkList, 2, true, kHoseModes},
    {3, 1, 0, "Тип датчика расхода топлива", "", 0, 0, 3, pkList, 2, false, kFlowSensors},
    {5, 3, 1, "Минимальная длительность счетных импульсов", "мс", 4, 0, 500, pkNumber, 2, false, {}},
    {6, 1, 0, "Тип кнопки ПУСК/СТОП", "", 0, 0, 5, pkList, 2, false, kStartButtons},
    {7, 2, 0, "Время задержки включения насоса относительно включения КЭМ", "с", 0, 0, 10, pkNumber, 2, false, {}},
    {8, 1, 0, "Включение отсечного клапана при готовности", "", 0, 0, 1, pkList, 2, false, kNoYes},
    {9, 4, 0, "Момент включения клапана в начале налива", "л", 0, 0, 9999, pkNumber, 2, false, {}},
    {10, 4, 0, "Момент включения клапана в конце налива", "л", 0, 0, 9999, pkNumber, 2, false, {}},
    {11, 3, 0, "Время работы насоса при отсутствии импульсов от датчика расхода", "с", 0, 0, 300, pkNumber, 2, false, {}},
    {12, 2, 0, "Режим отображения информации на табло", "с", 0, 0, 2, pkList, 2, false, kDisplayModes},
    {13, 3, 0, "Отключение внутреннего датчика температуры/Чтение температуры внутри устройства", "С(1-включить датчик, 200-отключить датчик), выше 200-отрицательная температура", 0, 0, 299, pkNumber, 2, false, {}},
    {14, 3, 0, "Температура включения внутреннего обогрева/Проверка обогрева", "C(999-включение обогрева на 20с), выше 200-отрицательная температура", 0, 0, 999, pkNumber, 2, false, {}},
    {15, 2, 0, "Гистерезис температуры включения внутреннего обогрева", "С", 10, 3, 15, pkNumber, 2, false, {}},
    {16, 6, 2, "Средняя (за один отпуск) плотность топлива", "кг/м3", 750000, 60000, 120000, pkNumber, 2, false, {}},
    {17, 2, 0, "Время ожидания остановки насосного агрегата", "с", 5, 0, 20, pkNumber, 2, false, {}},
    {18, 5, 0, "Чтение аварийного суммарного счетчика", "л", 0, 0, 99999, pkNumber, 2, true, {}},
    {19, 3, 0, "Номер версии ПО контроллера", "", 0, 0, 999, pkNumber, 2, true, {}},
    {20, 2, 0, "Время задержки выключения КЭМ относительно выключения насоса", "с", 3, 0, 20, pkNumber, 2, false, {}},
    {21, 1, 0, "Тип клапанов снижения расхода и отсечки", "с", 0, 0, 2, pkList, 2, false, kValveTypes},
    {22, 8, 0, "Чтение килограммового суммарника", "кг", 0, 0, 99999999, pkNumber, 2, true, {}},
    {23, 1, 0, "Тип датчика температуры топлива", "л", 0, 0, 2, pkList, 2, false, kTemperatureSensors},
    {24, 4, 0, "Чтение производительности отпуска", "м3/ч", 0, 0, 9999, pkNumber, 2, true, {}},
    {25, 1, 0, "Полярность сигнала исправности ДПН", "л", 0, 0, 2, pkList, 2, true, kSensorHealthPolarities},
    {26, 4, 0, "Запись пароля юстировки / Чтение кода подтверждения парольной операции", "", 0, 0, 9999, pkNumber, 2, true, {}},
    {27, 8, 1, "Юстировочный коэффициент", "", 0, 0, 99999, pkNumber, 2, true, {}},
    {28, 5, 0, "Чтение счетчика кол-ва операций юстировки", "", 0, 0, 65535, pkNumber, 2, true, {}},
    {29, 5, 0, "Чтение счетчика кол-ва операций по обновлению ПО", "", 0, 0, 65535, pkNumber, 2, true, {}},
    {30, 1, 0, "Способ задания плотности топлива", "", 0, 0, 1, pkList, 2, false, kDensitySources},
    {31, 6, 2, "Плотность топлива", "кг/м3", 0, 60000, 120000, pkNumber, 2, false, {}},
    {32, 1, 0, "Полярность сигнала состояния насоса", "", 0, 0, 2, pkNumber, 2, false, kPumpStatePolarities},
    {33, 6, 2, "Плотность топлива при 20С", "кг/м3", 0, 0, 999999, pkNumber, 2, false, {}},
    {34, 6, 0, "Начальная плотность топлива", "кг/м3", 0, 60000, 120000, pkNumber, 2, false, {}},
    {35, 6, 3, "Начальная температура топлива", "C", 0, 0, 999999, pkNumber, 2, false, {}},
    {36, 6, 3, "Чтение температуры топлива", "С", 0, 0, 999999, pkTemperature, 2, true, {}},
    {37, 1, 0, "Тип поста", "", 0, 0, 2, pkList, 2, false, kPostTypes},
    {38, 1, 0, "Полярность сигнала ДПН", "", 0, 0, 3, pkList, 2, false, kSensorPolarities},
    {39, 2, 0, "Гистерезис температуры включения внутреннего обогрева", "0С", 0, 3, 15, pkNumber, 2, false, {}},
    {40, 2, 0, "Компенсация протечек измерителя объема", "мл/c", 0, 0, 100, pkNumber, 2, false, {}},
    {41, 3, 0, "Задержка включения отсечного клапана", "с", 0, 0, 300, pkNumber, 2, false, {}},
    {42, 2, 2, "Пороговая скорость", "л/с", 0, 0, 99, pkNumber, 2, false, {}},
    {43, 2, 2, "Ограничение гидроудара", "л", 0, 0, 50, pkNumber, 2, false, {}},
    {44, 8, 2, "Чтение дополнительного суммарного счетчика", "л", 0, 0, 99999999, pkNumber, 2, true, {}},
    {45, 1, 0, "Округление до суммы заказа", "", 0, 0, 1, pkList, 2, false, kOffOn},
};
// clang-format on
static_assert(std::size(kCatalog) == kCatalogSize);

}  // namespace

void CTRKParameters::Fill() {
  Records.clear();
  Records.reserve(std::size(kCatalog));
  for (const TRecordRow& row : kCatalog) {
    CParameter& record = Records.emplace_back(row.Code, row.Digits, row.Decimals, row.Caption,
                                              row.Units, row.Value, row.MinValue, row.MaxValue,
                                              row.Kind, row.TabIndex, row.SkipOnWriteAll);
    record.ValueNames.assign(row.ValueNames.begin(), row.ValueNames.end());
  }
}
