/* qx25-cslots: a station's program in plain C that calls the driver's 27
 * operations by their number in the object's table, as prebuilt hosts do,
 * through the table's C declaration in docs/windows-hosts.md. Each slot must
 * be the operation of its number: its effect on the line (the driver's log
 * names every request) or its result. A reordered QX25.h fails here.
 *
 *   qx25-cslots PORT   against the simulator on COMn; COM29 stands for a
 *                      port with no device
 *
 * On 32-bit Windows a slot's failure comes back as its zero value and the
 * message in qx25_last_error(); elsewhere a C frame cannot stop a C++
 * exception, so the slots that throw are left out there.
 *
 * Exits 0 when every check held, 1 otherwise (said on stderr), 2 on bad
 * arguments. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "DriverLibrary.h"

typedef struct qx25_slots qx25_slots;
typedef struct qx25_object {
  const qx25_slots* slots;
} qx25_object;

/* The table, as docs/windows-hosts.md declares it for Windows hosts. */
struct qx25_slots {
  void(QX25_CALL* abstract)(qx25_object* self);
  void(QX25_CALL* get_driver_info)(qx25_driver_info* result, qx25_object* self);
  void(QX25_CALL* set_port_status)(qx25_object* self, int32_t port, int32_t value);
  uint8_t(QX25_CALL* get_port_status)(qx25_object* self, int32_t port);
  uint8_t(QX25_CALL* stop_nozzle)(qx25_object* self, int32_t port, int32_t nozzle, int32_t confirm);
  uint8_t(QX25_CALL* spare_query)(qx25_object* self, int32_t arg);
  void(QX25_CALL* get_delivery_result)(qx25_object* self, int32_t port, int32_t nozzle,
                                       double* volume, double* money);
  void(QX25_CALL* get_total_counter)(qx25_object* self, int32_t port, int32_t nozzle, int32_t side,
                                     double* total, uint64_t* second, int32_t, int32_t);
  void(QX25_CALL* set_total_counter)(qx25_object* self, int32_t port, int32_t nozzle, int32_t side,
                                     double* value, int32_t, int32_t, int32_t);
  double(QX25_CALL* get_current_delivery)(qx25_object* self, int32_t port, int32_t nozzle,
                                          double* money);
  uint16_t(QX25_CALL* get_nozzle_state)(qx25_object* self, int32_t port, int32_t nozzle);
  void(QX25_CALL* set_price)(qx25_object* self, int32_t port, int32_t nozzle, int32_t side, int32_t,
                             int32_t, double price);
  void(QX25_CALL* spare_command)(qx25_object* self, int32_t, int32_t, int32_t);
  void(QX25_CALL* preset_volume)(qx25_object* self, int32_t port, int32_t nozzle, int32_t side,
                                 int32_t extra, double volume);
  void(QX25_CALL* preset_money)(qx25_object* self, int32_t port, int32_t nozzle, int32_t side,
                                int32_t extra, double money);
  void(QX25_CALL* start_pump)(qx25_object* self, int32_t port, int32_t nozzle, int32_t side);
  int32_t(QX25_CALL* setup_port)(qx25_object* self, int32_t port);
  int32_t(QX25_CALL* get_param)(qx25_object* self, int32_t port, int32_t nozzle, int32_t param_no);
  void(QX25_CALL* set_par)(qx25_object* self, int32_t port, int32_t nozzle, int32_t param_no,
                           int32_t value);
  void(QX25_CALL* start_pump_with_reset)(qx25_object* self, int32_t port, int32_t nozzle,
                                         int32_t side, int32_t skip_reset);
  uint8_t(QX25_CALL* get_driver_property)(qx25_object* self, int32_t kind, int32_t* value);
  void(QX25_CALL* poll_nozzle)(qx25_nozzle_poll* result, qx25_object* self, int32_t port,
                               int32_t nozzle, int32_t side_count);
  void(QX25_CALL* stop_pump)(qx25_object* self, int32_t port, int32_t nozzle, int32_t side,
                             int32_t confirm);
  int32_t(QX25_CALL* stop_pump_and_reset)(qx25_object* self, int32_t port, int32_t nozzle,
                                          int32_t side, int32_t confirm);
  void(QX25_CALL* install_menu)(qx25_object* self, void* root_item,
                                qx25_create_menu_item_fn create_menu_item);
  void(QX25_CALL* spare_hook_a)(qx25_object* self, void* root_item,
                                qx25_create_menu_item_fn create_menu_item);
  void(QX25_CALL* spare_hook_b)(qx25_object* self, void* root_item,
                                qx25_create_menu_item_fn create_menu_item);
};

#define NOZZLE 1
#define SIDE 1
#define PRICE 52.30
#define CLOSED 216  /* the poll's summary once it has closed a delivery */
#define DEAD_PORT 2 /* mapped to a COM port that does not exist */
#define NO_DEVICE 1 /* the dispatcher's failure class for it */
#define PARAM_NO 15 /* a parameter the simulator keeps as written */
#define DELIVERY_LIMIT_MS 20000
#if defined(_WIN64)
#define SLOTS_RETURN_FAILURES 0
#else
#define SLOTS_RETURN_FAILURES 1
#endif

static int Failures;
static char Traffic[16384]; /* the driver's log since the last Take */
static char Taken[sizeof Traffic];

static void Check(int Ok, const char* What) {
  if (Ok) return;
  fprintf(stderr, "FAILED: %s\n", What);
  fflush(stderr); /* a slot in the wrong place may end the program next */
  ++Failures;
}

static void OnLog(void* Context, int32_t Level, const char* Line) {
  (void)Context;
  (void)Level;
  if (strlen(Traffic) + strlen(Line) + 2 < sizeof Traffic) {
    strcat(Traffic, Line);
    strcat(Traffic, "\n");
  }
}

/* What the driver logged since the last call. */
static const char* Take(void) {
  strcpy(Taken, Traffic);
  Traffic[0] = '\0';
  return Taken;
}

static int Has(const char* Log, const char* Request) {
  char needle[128];
  snprintf(needle, sizeof needle, ": %s answered", Request);
  return strstr(Log, needle) != NULL;
}

static int Failed(const char* Message) { return strstr(FN(qx25_last_error)(), Message) != NULL; }

/* Polls until the poll has closed the delivery; 0 when it never did. */
static int PollToEnd(qx25_object* D, int Port) {
  const DWORD started = GetTickCount();
  qx25_nozzle_poll poll;
  do {
    D->slots->poll_nozzle(&poll, D, Port, NOZZLE, 1);
    if (poll.state == CLOSED) return 1;
  } while (GetTickCount() - started < DELIVERY_LIMIT_MS);
  return 0;
}

static void CheckFailures(qx25_object* D, int Port) {
  D->slots->abstract(D);
  Check(Failed("abstract"), "slot 0 fails with its message");
  D->slots->start_pump(D, Port, 33, SIDE);
  Check(Failed("колонки"), "slot 15 refuses nozzle 33 with its message");
  Check(D->slots->get_nozzle_state(D, Port, 33) == 0 && Failed("колонки"),
        "slot 10 checks its nozzle");
  D->slots->get_port_status(D, Port);
  Check(FN(qx25_last_error)()[0] == '\0', "a slot that worked clears the message");
  Check(Take()[0] == '\0', "failed slots send nothing");
}

static void CheckTable(qx25_handle* H, int Port) {
  qx25_object* D = (qx25_object*)FN(qx25_driver)(H);
  qx25_driver_info info;
  double volume = 0, money = 0, total = 0, counter;
  uint64_t second = 0;
  int32_t value = 0;
  const char* log;

  if (SLOTS_RETURN_FAILURES) CheckFailures(D, Port);
  D->slots->install_menu(D, NULL, NULL);
  D->slots->get_driver_info(&info, D);
  Check(info.length == 27 && memcmp(info.text, "v2.41#", 6) == 0, "slot 1 is GetDriverInfo");
  D->slots->set_port_status(D, Port, 77);
  Check(D->slots->get_port_status(D, Port) == 77, "slots 2 and 3 set and get PortStatus");
  Check(D->slots->setup_port(D, Port) == 0, "slot 16 sets up a live port");
  Check(D->slots->setup_port(D, DEAD_PORT) == NO_DEVICE, "slot 16 reports a dead port");
  Check((D->slots->get_driver_property(D, 7, &value) & 1) && value == 400,
        "slot 20 is GetDriverProperty");
  Check(Take()[0] == '\0', "slots 1 to 3, 16, 20 and 24 without a menu send no request");

  D->slots->set_par(D, Port, NOZZLE, PARAM_NO, 250);
  Check(Has(Take(), "запись параметра"), "slot 18 writes a parameter");
  Check(D->slots->get_param(D, Port, NOZZLE, PARAM_NO) == 250, "slot 17 reads it back");
  Check(Has(Take(), "чтение параметра"), "slot 17 reads a parameter");

  /* A delivery by volume at a price: slots 11, 13, 15, 21, 9, 6, 7, 8. */
  D->slots->set_price(D, Port, NOZZLE, SIDE, 0, 0, PRICE);
  Check(Take()[0] == '\0', "slot 11 only stores the price");
  D->slots->preset_volume(D, Port, NOZZLE, SIDE, 0, 2);
  Check(Has(Take(), "предустановка"), "slot 13 presets");
  D->slots->start_pump(D, Port, NOZZLE, SIDE);
  log = Take();
  Check(Has(log, "пуск") && !Has(log, "сброс"), "slot 15 starts without a reset");
  Check(PollToEnd(D, Port), "slot 21 polls the delivery to its end");
  Check(Has(Take(), "состояние"), "slot 21 asks the state");
  D->slots->get_current_delivery(D, Port, NOZZLE, &money);
  Check(Has(Take(), "текущий налив"), "slot 9 asks the current delivery");
  D->slots->get_delivery_result(D, Port, NOZZLE, &volume, &money);
  Check(Has(Take(), "итог налива"), "slot 6 asks the result");
  Check(volume == 2 && money > 104.599 && money < 104.601, "slots 13 and 11: 2 L at the price");
  D->slots->get_total_counter(D, Port, NOZZLE, SIDE, &total, &second, 0, 0);
  Check(Has(Take(), "суммарный счётчик") && total >= 2, "slot 7 reads the totalizer");
  counter = total;
  D->slots->set_total_counter(D, Port, NOZZLE, SIDE, &counter, 0, 0, 0);
  Check(Has(Take(), "запись счётчика"), "slot 8 writes the totalizer");

  /* By money, with the reset before the start: slots 14 and 19. */
  D->slots->preset_money(D, Port, NOZZLE, SIDE, 0, PRICE);
  Check(Has(Take(), "предустановка"), "slot 14 presets");
  D->slots->start_pump_with_reset(D, Port, NOZZLE, SIDE, 0);
  log = Take();
  Check(Has(log, "сброс") && Has(log, "подготовка к пуску") && Has(log, "пуск"),
        "slot 19 resets, prepares and starts");
  Check(PollToEnd(D, Port), "the delivery by money ended");
  D->slots->get_delivery_result(D, Port, NOZZLE, &volume, &money);
  Check(volume == 1, "slot 14 presets by money: 1 L");
  Take();

  /* Stops: unconfirmed ones send nothing. */
  Check((D->slots->stop_nozzle(D, Port, NOZZLE, 0) & 1) == 0, "slot 4 returns false");
  D->slots->stop_pump(D, Port, NOZZLE, SIDE, 0);
  Check(Take()[0] == '\0', "slots 4 and 22 unconfirmed send nothing");
  D->slots->stop_nozzle(D, Port, NOZZLE, 1);
  Check(Has(Take(), "остановка"), "slot 4 stops");
  D->slots->stop_pump(D, Port, NOZZLE, SIDE, 1);
  Check(Has(Take(), "остановка"), "slot 22 stops");
  Check(D->slots->stop_pump_and_reset(D, Port, NOZZLE, SIDE, 1) == 0, "slot 23 resets");
  log = Take();
  Check(Has(log, "остановка") && Has(log, "сброс"), "slot 23 stops and resets");

  Check(D->slots->spare_query(D, 1) == 0, "slot 5 answers 0");
  Check(D->slots->get_nozzle_state(D, Port, NOZZLE) == 0, "slot 10 answers 0");
  D->slots->spare_command(D, 1, 2, 3);
  D->slots->spare_hook_a(D, NULL, NULL);
  D->slots->spare_hook_b(D, NULL, NULL);
  Check(Take()[0] == '\0', "slots 5, 10, 12, 25 and 26 send nothing");
}

int main(int argc, char** argv) {
  char device[16];
  int port;
  qx25_handle* h;

  if (argc != 2 || (port = atoi(argv[1])) < 1 || port > 30 || port == DEAD_PORT) {
    fprintf(stderr, "usage: qx25-cslots PORT (not %d)\n", DEAD_PORT);
    return 2;
  }
  if (!LoadDriver()) return 1;
  snprintf(device, sizeof device, "COM%d", port);
  h = FN(qx25_open)(0, port, device);
  if (!h || FN(qx25_set_device)(h, DEAD_PORT, "COM29") != 0 ||
      FN(qx25_set_log)(3, OnLog, NULL) != 0) {
    fprintf(stderr, "qx25-cslots: %s\n", FN(qx25_last_error)());
    return 1;
  }
  CheckTable(h, port);
  FN(qx25_set_log)(-1, NULL, NULL);
  FN(qx25_close)(h);
  if (Failures) return 1;
  printf("qx25-cslots: every slot is the operation of its number\n");
  return 0;
}
