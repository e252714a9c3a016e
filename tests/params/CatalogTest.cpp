// The catalog against its table, record by record and byte by byte.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "params/ParameterUnit.h"

namespace {

struct ExpectedRecord {
  int Index;
  int Code;
  const char* Caption;
  const char* Units;
  int Kind;
  int TabIndex;
  int Digits;
  int Decimals;
  int64_t MinValue;
  int64_t MaxValue;
  int64_t Value;
  bool SkipOnWriteAll;
};

// Index, Code, Caption, Units, Kind, TabIndex, Digits, Decimals, MinValue,
// MaxValue, initial Value, SkipOnWriteAll.
// clang-format off
const ExpectedRecord kExpected[] = {
    {0, 0, "Программирование сетевого адреса", "", 8, 1, 2, 0, 0, 99, 0, false},
    {1, 0, "(общий) Подсветка", "", 7, 0, 1, 0, 0, 1, 0, false},
    {2, 1, "(общий) Отображение ID-номера и сетевого адреса на табло ТРК", "", 7, 0, 1, 0, 0, 1, 0, false},
    {3, 2, "(общий) Тест индикации ТРК", "", 7, 0, 1, 0, 0, 1, 0, false},
    {4, 4, "(общий) Общий сброс всех ТРК", "", 7, 0, 1, 0, 0, 0, 0, false},
    {5, 5, "(общий) Внешнее освещение", "", 7, 0, 1, 0, 0, 0, 0, false},
    {6, 1, "Код лимитной карты", "", 0, 2, 15, 0, 0, 999999999999999, 0, false},
    {7, 2, "Режим работы рукава", "", 1, 2, 1, 0, 0, 2, 0, true},
    {8, 3, "Тип датчика расхода топлива", "", 1, 2, 1, 0, 0, 3, 0, false},
    {9, 5, "Минимальная длительность счетных импульсов", "мс", 0, 2, 3, 1, 0, 500, 4, false},
    {10, 6, "Тип кнопки ПУСК/СТОП", "", 1, 2, 1, 0, 0, 5, 0, false},
    {11, 7, "Время задержки включения насоса относительно включения КЭМ", "с", 0, 2, 2, 0, 0, 10, 0, false},
    {12, 8, "Включение отсечного клапана при готовности", "", 1, 2, 1, 0, 0, 1, 0, false},
    {13, 9, "Момент включения клапана в начале налива", "л", 0, 2, 4, 0, 0, 9999, 0, false},
    {14, 10, "Момент включения клапана в конце налива", "л", 0, 2, 4, 0, 0, 9999, 0, false},
    {15, 11, "Время работы насоса при отсутствии импульсов от датчика расхода", "с", 0, 2, 3, 0, 0, 300, 0, false},
    {16, 12, "Режим отображения информации на табло", "с", 1, 2, 2, 0, 0, 2, 0, false},
    {17, 13, "Отключение внутреннего датчика температуры/Чтение температуры внутри устройства", "С(1-включить датчик, 200-отключить датчик), выше 200-отрицательная температура", 0, 2, 3, 0, 0, 299, 0, false},
    {18, 14, "Температура включения внутреннего обогрева/Проверка обогрева", "C(999-включение обогрева на 20с), выше 200-отрицательная температура", 0, 2, 3, 0, 0, 999, 0, false},
    {19, 15, "Гистерезис температуры включения внутреннего обогрева", "С", 0, 2, 2, 0, 3, 15, 10, false},
    {20, 16, "Средняя (за один отпуск) плотность топлива", "кг/м3", 0, 2, 6, 2, 60000, 120000, 750000, false},
    {21, 17, "Время ожидания остановки насосного агрегата", "с", 0, 2, 2, 0, 0, 20, 5, false},
    {22, 18, "Чтение аварийного суммарного счетчика", "л", 0, 2, 5, 0, 0, 99999, 0, true},
    {23, 19, "Номер версии ПО контроллера", "", 0, 2, 3, 0, 0, 999, 0, true},
    {24, 20, "Время задержки выключения КЭМ относительно выключения насоса", "с", 0, 2, 2, 0, 0, 20, 3, false},
    {25, 21, "Тип клапанов снижения расхода и отсечки", "с", 1, 2, 1, 0, 0, 2, 0, false},
    {26, 22, "Чтение килограммового суммарника", "кг", 0, 2, 8, 0, 0, 99999999, 0, true},
    {27, 23, "Тип датчика температуры топлива", "л", 1, 2, 1, 0, 0, 2, 0, false},
    {28, 24, "Чтение производительности отпуска", "м3/ч", 0, 2, 4, 0, 0, 9999, 0, true},
    {29, 25, "Полярность сигнала исправности ДПН", "л", 1, 2, 1, 0, 0, 2, 0, true},
    {30, 26, "Запись пароля юстировки / Чтение кода подтверждения парольной операции", "", 0, 2, 4, 0, 0, 9999, 0, true},
    {31, 27, "Юстировочный коэффициент", "", 0, 2, 8, 1, 0, 99999, 0, true},
    {32, 28, "Чтение счетчика кол-ва операций юстировки", "", 0, 2, 5, 0, 0, 65535, 0, true},
    {33, 29, "Чтение счетчика кол-ва операций по обновлению ПО", "", 0, 2, 5, 0, 0, 65535, 0, true},
    {34, 30, "Способ задания плотности топлива", "", 1, 2, 1, 0, 0, 1, 0, false},
    {35, 31, "Плотность топлива", "кг/м3", 0, 2, 6, 2, 60000, 120000, 0, false},
    {36, 32, "Полярность сигнала состояния насоса", "", 0, 2, 1, 0, 0, 2, 0, false},
    {37, 33, "Плотность топлива при 20С", "кг/м3", 0, 2, 6, 2, 0, 999999, 0, false},
    {38, 34, "Начальная плотность топлива", "кг/м3", 0, 2, 6, 0, 60000, 120000, 0, false},
    {39, 35, "Начальная температура топлива", "C", 0, 2, 6, 3, 0, 999999, 0, false},
    {40, 36, "Чтение температуры топлива", "С", 3, 2, 6, 3, 0, 999999, 0, true},
    {41, 37, "Тип поста", "", 1, 2, 1, 0, 0, 2, 0, false},
    {42, 38, "Полярность сигнала ДПН", "", 1, 2, 1, 0, 0, 3, 0, false},
    {43, 39, "Гистерезис температуры включения внутреннего обогрева", "0С", 0, 2, 2, 0, 3, 15, 0, false},
    {44, 40, "Компенсация протечек измерителя объема", "мл/c", 0, 2, 2, 0, 0, 100, 0, false},
    {45, 41, "Задержка включения отсечного клапана", "с", 0, 2, 3, 0, 0, 300, 0, false},
    {46, 42, "Пороговая скорость", "л/с", 0, 2, 2, 2, 0, 99, 0, false},
    {47, 43, "Ограничение гидроудара", "л", 0, 2, 2, 2, 0, 50, 0, false},
    {48, 44, "Чтение дополнительного суммарного счетчика", "л", 0, 2, 8, 2, 0, 99999999, 0, true},
    {49, 45, "Округление до суммы заказа", "", 1, 2, 1, 0, 0, 1, 0, false},
};

const std::map<int, std::vector<std::string>> kExpectedNames = {
    {1, {"0-Выключить", "1-Включить"}},
    {2, {"0-Выключить", "1-Включить"}},
    {3, {"0-Выключить", "1-Включить"}},
    {4, {"0-Сбросить"}},
    {5, {"0-Выключить", "1-Включить"}},
    {7, {"0-Откл.", "1-Первая сторона", "2-Вторая сторона"}},
    {8, {"0-Одноканальный", "1-Двухканальный", "2-Одноканальный на второй вход", "3-Двухканальный без диагностики", "4-Двухканальный обратного вращения", "5-Двухканальный обратного вращения без диагностики"}},
    {10, {"0-Тип 1", "1-Тип 2", "2-Тип 3", "3-Тип 4", "4-кнопка отсутствует", "5-Тип 5"}},
    {12, {"0-нет", "1-есть"}},
    {16, {"0-стандартный", "1-расширенный(отображение плотности и пр.)", "2-технологический(отображение долей литра)"}},
    {25, {"0-клапан двойного действия 220В", "1-резерв", "2-клапаны отсечки и снижения 110В"}},
    {27, {"0-отключен", "1-ТСМ-100", "2-ТСП-100"}},
    {29, {"0-ДПН исправен, если ток на входе есть", "1-ДПН исправен, если тока на входе нет", "2-сигнал отсутствует"}},
    {34, {"0-отсутствует", "1-ручной", "2-автоматический", "3-термокоррекция"}},
    {36, {"0-насос включен, если ток на входе есть", "1-насос включен, если тока на входе нет", "2-сигнал отсутствует"}},
    {41, {"0-пост налива", "1-пост приема"}},
    {42, {"0-ДПН есть, если ток на входе есть", "1-ДПН есть, если тока на входе нет", "2-сигнал отсутствует", "3-датчик \"Метран\""}},
    {49, {"0-Отключено", "1-Включено"}},
};
// clang-format on

std::string Hex(const std::string& Text) {
  std::string out;
  for (const unsigned char c : Text) {
    static const char* digits = "0123456789ABCDEF";
    out += digits[c >> 4];
    out += digits[c & 0xF];
    out += ' ';
  }
  return out;
}

CTRKParameters Filled() {
  CTRKParameters catalog;
  catalog.Fill();
  return catalog;
}

TEST(Catalog, HoldsEveryRecordOfTheTable) {
  const CTRKParameters catalog = Filled();
  ASSERT_EQ(catalog.Count(), 50);
  ASSERT_EQ(std::size(kExpected), 50u);
  for (const ExpectedRecord& e : kExpected) {
    SCOPED_TRACE("index " + std::to_string(e.Index));
    const CParameter& p = catalog.Items(e.Index);
    EXPECT_EQ(p.Code, e.Code);
    EXPECT_EQ(p.Caption, e.Caption);
    EXPECT_EQ(p.Units, e.Units) << Hex(p.Units);
    EXPECT_EQ(p.Kind, e.Kind);
    EXPECT_EQ(p.TabIndex, e.TabIndex);
    EXPECT_EQ(p.Digits, e.Digits);
    EXPECT_EQ(p.Decimals, e.Decimals);
    EXPECT_EQ(p.MinValue, e.MinValue);
    EXPECT_EQ(p.MaxValue, e.MaxValue);
    EXPECT_EQ(p.Value, e.Value);
    EXPECT_EQ(p.SkipOnWriteAll, e.SkipOnWriteAll);
    EXPECT_TRUE(p.ReadText.empty());
    EXPECT_FALSE(p.ReadError);
    const auto names = kExpectedNames.find(e.Index);
    EXPECT_EQ(p.ValueNames,
              names == kExpectedNames.end() ? std::vector<std::string>{} : names->second);
  }
}

TEST(Catalog, KeepsLatinAndCyrillicLettersApart) {
  const CTRKParameters catalog = Filled();
  auto units = [&](int Index) { return catalog.Items(Index).Units; };
  // Latin capital C (0x43) opens the units of codes 14 and 35.
  ASSERT_EQ(catalog.Items(18).Code, 14);
  EXPECT_EQ(units(18).substr(0, 2), "C(");
  ASSERT_EQ(catalog.Items(39).Code, 35);
  EXPECT_EQ(units(39), "\x43");
  // "мл/c" ends in a Latin small c (0x63).
  ASSERT_EQ(catalog.Items(44).Code, 40);
  EXPECT_EQ(units(44), "\xD0\xBC\xD0\xBB/\x63");
  // Cyrillic capital Es (D0 A1) everywhere else.
  ASSERT_EQ(catalog.Items(19).Code, 15);
  EXPECT_EQ(units(19), "\xD0\xA1");
  ASSERT_EQ(catalog.Items(43).Code, 39);
  EXPECT_EQ(units(43), "0\xD0\xA1");
  ASSERT_EQ(catalog.Items(17).Code, 13);
  EXPECT_EQ(units(17).substr(0, 3), "\xD0\xA1(");
  ASSERT_EQ(catalog.Items(40).Code, 36);
  EXPECT_EQ(units(40), "\xD0\xA1");
  // The same caption stands for codes 15 and 39.
  EXPECT_EQ(catalog.Items(19).Caption, catalog.Items(43).Caption);
}

TEST(Catalog, SplitsIntoTabsBulkRangeAndSkippedWrites) {
  const CTRKParameters catalog = Filled();
  std::map<int, int> perTab;
  std::set<int> skipped;
  for (int i = 0; i < catalog.Count(); ++i) {
    const CParameter& p = catalog.Items(i);
    ++perTab[p.TabIndex];
    if (p.SkipOnWriteAll) skipped.insert(p.Code);
  }
  EXPECT_EQ(perTab, (std::map<int, int>{{0, 5}, {1, 1}, {2, 44}}));
  EXPECT_EQ(skipped, (std::set<int>{2, 18, 19, 22, 24, 25, 26, 27, 28, 29, 36, 44}));

  // The bulk range: every parameter of tab 2 but the limit-card code, all on
  // the parameter link mode; 43 reads and 31 writes.
  EXPECT_EQ(kBulkFirst, 7);
  EXPECT_EQ(catalog.Items(kBulkFirst - 1).Caption, "Код лимитной карты");
  int writes = 0;
  for (int i = kBulkFirst; i < catalog.Count(); ++i) {
    const CParameter& p = catalog.Items(i);
    EXPECT_EQ(p.TabIndex, 2) << i;
    EXPECT_EQ(LinkModeOf(p.Kind), lmParameter) << i;
    writes += p.SkipOnWriteAll ? 0 : 1;
  }
  EXPECT_EQ(catalog.Count() - kBulkFirst, 43);
  EXPECT_EQ(writes, 31);
  EXPECT_EQ(catalog.Count(), kCatalogSize);
}

TEST(Catalog, RefusesIndicesOutsideTheList) {
  CTRKParameters catalog;
  EXPECT_EQ(catalog.Count(), 0);
  EXPECT_THROW(catalog.Items(0), std::out_of_range);
  catalog.Fill();
  EXPECT_EQ(catalog.Items(0).Kind, pkAddress);
  EXPECT_EQ(catalog.Items(49).Code, 45);
  for (int bad : {-1, 50, INT32_MIN, INT32_MAX}) {
    EXPECT_THROW(catalog.Items(bad), std::out_of_range) << bad;
    EXPECT_THROW(std::as_const(catalog).Items(bad), std::out_of_range) << bad;
  }
}

TEST(Catalog, FillStartsAgainFromTheTable) {
  CTRKParameters catalog = Filled();
  catalog.Items(20).Value = 80000;
  catalog.Items(20).ReadText = "800.00";
  catalog.Items(20).ReadError = true;
  catalog.Fill();
  EXPECT_EQ(catalog.Count(), 50);
  EXPECT_EQ(catalog.Items(20).Value, 750000);
  EXPECT_TRUE(catalog.Items(20).ReadText.empty());
  EXPECT_FALSE(catalog.Items(20).ReadError);
}

TEST(LinkMode, FollowsTheKind) {
  for (uint8_t kind = pkNumber; kind <= pkNegativeTemperature; ++kind)
    EXPECT_EQ(LinkModeOf(kind), lmParameter) << int(kind);
  EXPECT_EQ(LinkModeOf(pkCommonNumber), lmCommon);
  EXPECT_EQ(LinkModeOf(pkCommonList), lmCommon);
  EXPECT_EQ(LinkModeOf(pkAddress), lmAddress);
  EXPECT_EQ(LinkModeOf(9), std::nullopt);
  EXPECT_EQ(LinkModeOf(255), std::nullopt);
}

}  // namespace
