// A host that calls slot 24 before it has made its QApplication gets an
// error it can read, not a crash, and can still install the menu later.
#include <gtest/gtest.h>

#include <stdexcept>

#include "driver/QX25.h"
#include "driver/DriverPtr.h"
#include "ui/ServiceWindow.h"

TEST(NoApplication, InstallMenuThrowsAndStaysPending) {
  DriverPtr driver(GetQX25(0, 0, nullptr));
  int menu = 0;
  EXPECT_THROW(driver->InstallMenu(&menu, nullptr), std::runtime_error);
  EXPECT_TRUE(MenuPending);
}
