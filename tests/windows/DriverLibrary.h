/* How the C hosts load qx25.dll by name and take its functions by name. */
#ifndef QX25_TESTS_DRIVER_LIBRARY_H
#define QX25_TESTS_DRIVER_LIBRARY_H

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "driver/qx25c.h"

static HMODULE Library;

/* 0 (said on stderr) when qx25.dll does not load. */
static int LoadDriver(void) {
  Library = LoadLibraryW(L"qx25.dll");
  if (!Library) fprintf(stderr, "qx25.dll does not load (error %lu)\n", GetLastError());
  return Library != NULL;
}

static FARPROC Need(const char* Name) {
  FARPROC f = GetProcAddress(Library, Name);
  if (!f) {
    fprintf(stderr, "qx25.dll lacks %s\n", Name);
    exit(1);
  }
  return f;
}

/* Each function as qx25c.h declares it, taken by name. */
#define FN(name) ((__typeof__(&name))(void (*)(void))Need(#name))

#endif
