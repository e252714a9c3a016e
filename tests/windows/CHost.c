/* qx25-chost: a station's program in plain C, for Windows. It loads qx25.dll
 * by name and runs a delivery through the C interface alone (qx25c.h) on the
 * library's own serial dispatcher, so it needs no C++ and catches nothing:
 *
 *   qx25-chost PORT   price, preset 2 L, start, poll to the end, result and
 *                     totalizer on COMn; then a failure must come back as a
 *                     value and the driver's message
 *
 * Exits 0 on success, 1 on a failure (said on stderr), 2 on bad arguments. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "DriverLibrary.h"

#define NOZZLE 1
#define SIDE 1
#define PRICE 52.30
#define LITRES 2.0
#define CLOSED 216 /* the poll's summary once it has closed a delivery */
#define ACCEPTED 1 /* PortStatus after an accepted reply */
#define DELIVERY_LIMIT_MS 60000

static const char*(QX25_CALL* LastError)(void);

static int Fail(const char* What) {
  fprintf(stderr, "qx25-chost: %s: %s\n", What, LastError());
  return 1;
}

int main(int argc, char** argv) {
  char device[16];
  int port;
  qx25_handle* h;
  qx25_nozzle_poll poll;
  double volume = 0, money = 0, before = 0, after = 0;
  uint64_t second = 0;
  DWORD started;

  if (argc != 2 || (port = atoi(argv[1])) < 1 || port > 30) {
    fprintf(stderr, "usage: qx25-chost PORT\n");
    return 2;
  }
  if (!LoadDriver()) return 1;
  LastError = FN(qx25_last_error);
  snprintf(device, sizeof device, "COM%d", port);
  h = FN(qx25_open)(0, port, device);
  if (!h) return Fail("qx25_open");

  if (FN(qx25_setup_port)(h, port) != 0) return Fail("setup");
  if (FN(qx25_get_total_counter)(h, port, NOZZLE, SIDE, &before, &second, 0, 0) != 0)
    return Fail("total before");
  if (FN(qx25_set_price)(h, port, NOZZLE, SIDE, 0, 0, PRICE) != 0) return Fail("price");
  if (FN(qx25_preset_volume)(h, port, NOZZLE, SIDE, 0, LITRES) != 0) return Fail("preset");
  if (FN(qx25_get_port_status)(h, port) != ACCEPTED) return Fail("preset refused");
  if (FN(qx25_start_pump)(h, port, NOZZLE, SIDE) != 0) return Fail("start");
  if (FN(qx25_get_port_status)(h, port) != ACCEPTED) return Fail("start refused");
  started = GetTickCount();
  do {
    if (FN(qx25_poll_nozzle)(h, port, NOZZLE, 1, &poll) != 0) return Fail("poll");
    if (GetTickCount() - started > DELIVERY_LIMIT_MS) return Fail("the delivery did not end");
  } while (poll.state != CLOSED);
  if (FN(qx25_get_delivery_result)(h, port, NOZZLE, &volume, &money) != 0) return Fail("result");
  printf("delivered %.2f L for %.2f\n", volume, money);
  if (volume != LITRES || fabs(money - LITRES * PRICE) > 0.001) return Fail("wrong result");
  if (FN(qx25_get_total_counter)(h, port, NOZZLE, SIDE, &after, &second, 0, 0) != 0)
    return Fail("total after");
  if (fabs(after - before - LITRES) > 0.001) return Fail("the totalizer missed the delivery");

  /* A failure is a value and a message; the next good call clears it. */
  if (FN(qx25_start_pump)(h, port, 33, SIDE) != -1 || strstr(LastError(), "колонки") == NULL)
    return Fail("nozzle 33 was not refused with its message");
  if (FN(qx25_abstract)(h) != -1 || strstr(LastError(), "abstract") == NULL)
    return Fail("slot 0's exception did not become a failure");
  if (FN(qx25_get_port_status)(h, port) < 0 || LastError()[0] != '\0')
    return Fail("a good call left a message");

  FN(qx25_close)(h);
  printf("qx25-chost: passed\n");
  return 0;
}
