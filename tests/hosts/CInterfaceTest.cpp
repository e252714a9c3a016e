// The C interface's barrier, in-process so that the sanitizer builds run it
// too: failures become values and the thread's message, outputs are written
// only on success, and a good call clears the message. The hosts beside it
// (Python, Pascal) run whole deliveries.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "driver/qx25c.h"
#include "sim/Endpoint.h"
#include "sim/Simulator.h"

namespace {

constexpr int32_t kPort = 3;
constexpr int32_t kDeadPort = 4;

std::string LastError() { return qx25_last_error(); }

class CInterface : public testing::Test {
 protected:
  void SetUp() override {
    Sim.AddController(1);
    qx25::sim::EndpointOptions options;
    options.Baud = 38400;
    Wire.emplace(Sim, options);
    const std::string path = Wire->OpenPseudoTerminal();
    Wire->Start();
    Handle = qx25_open(0, kPort, path.c_str());
    ASSERT_NE(Handle, nullptr) << LastError();
    ASSERT_EQ(qx25_set_device(Handle, kDeadPort, "/nonexistent/qx25-line"), 0);
  }
  void TearDown() override {
    qx25_close(Handle);
    Wire->Stop();
  }

  qx25::sim::Simulator Sim;
  std::optional<qx25::sim::Endpoint> Wire;
  qx25_handle* Handle = nullptr;
};

TEST_F(CInterface, ParameterWrittenReadsBackAndLeavesNoMessage) {
  ASSERT_EQ(qx25_set_par(Handle, kPort, 1, 15, 250), 0) << LastError();
  EXPECT_EQ(qx25_get_param(Handle, kPort, 1, 15), 250);
  EXPECT_EQ(LastError(), "");
  EXPECT_EQ(qx25_get_port_status(Handle, kPort), 1);
  qx25_driver_info info{};
  ASSERT_EQ(qx25_get_driver_info(Handle, &info), 0);
  EXPECT_EQ(info.length, 27);
  EXPECT_EQ(std::string(info.text, 6), "v2.41#");
}

TEST_F(CInterface, ADeadLineFailsWithTheCommandsMessageAndTouchesNoOutput) {
  EXPECT_EQ(qx25_start_pump(Handle, kDeadPort, 1, 1), -1);
  EXPECT_EQ(LastError(), "Can't START POMP");
  double money = 7;
  EXPECT_TRUE(std::isnan(qx25_get_current_delivery(Handle, kDeadPort, 1, &money)));
  EXPECT_EQ(money, 7);
  qx25_nozzle_poll poll;
  std::memset(&poll, 0xAB, sizeof poll);
  EXPECT_EQ(qx25_poll_nozzle(Handle, kDeadPort, 1, 1, &poll), -1);
  EXPECT_EQ(LastError(), "Can't GetSost");
  const qx25_nozzle_poll zero{};
  EXPECT_EQ(std::memcmp(&poll, &zero, sizeof poll), 0);  // never left as it was
  // The setup reports the dispatcher's failure class, not a failure.
  EXPECT_GT(qx25_setup_port(Handle, kDeadPort), 0);
  EXPECT_EQ(LastError(), "");
}

TEST_F(CInterface, ArgumentsOutsideTheTablesFailBeforeAnythingIsSent) {
  qx25_nozzle_poll poll{};
  EXPECT_EQ(qx25_poll_nozzle(Handle, 31, 1, 1, &poll), -1);
  EXPECT_NE(LastError().find("Port"), std::string::npos) << LastError();
  EXPECT_EQ(qx25_preset_volume(Handle, kPort, 33, 1, 0, 5), -1);
  EXPECT_EQ(LastError(), "Номер колонки выходит за допустимый диапозон");
  EXPECT_EQ(qx25_get_param(Handle, 0, 1, 15), INT32_MIN);
  EXPECT_EQ(qx25_stop_pump_and_reset(Handle, kPort, 33, 1, 1), INT32_MIN);
  EXPECT_EQ(qx25_abstract(Handle), -1);
  EXPECT_NE(LastError().find("abstract"), std::string::npos);
  EXPECT_EQ(qx25_set_device(Handle, 0, "/dev/null"), -1);
  EXPECT_EQ(qx25_set_log(4, nullptr, nullptr), -1);
  EXPECT_EQ(Sim.History().size(), 0u);
}

TEST_F(CInterface, NullHandleAndNullOutputsAreRefused) {
  EXPECT_EQ(qx25_get_port_status(nullptr, kPort), -1);
  EXPECT_NE(LastError().find("null"), std::string::npos);
  EXPECT_EQ(qx25_driver(nullptr), nullptr);
  qx25_close(nullptr);
  double volume = 0;
  EXPECT_EQ(qx25_get_delivery_result(Handle, kPort, 1, &volume, nullptr), -1);
  EXPECT_NE(LastError().find("money"), std::string::npos);
  EXPECT_EQ(qx25_get_driver_property(Handle, 7, nullptr), -1);
  EXPECT_EQ(qx25_poll_nozzle(Handle, kPort, 1, 1, nullptr), -1);
  EXPECT_EQ(qx25_get_driver_info(Handle, nullptr), -1);
  int32_t value = 0;
  EXPECT_EQ(qx25_get_driver_property(Handle, 7, &value), 1);
  EXPECT_EQ(value, 400);
  EXPECT_EQ(qx25_get_driver_property(Handle, 8, &value), 0);
  EXPECT_EQ(Sim.History().size(), 0u);
}

TEST_F(CInterface, EachThreadReadsItsOwnMessage) {
  EXPECT_EQ(qx25_start_pump(Handle, kDeadPort, 1, 1), -1);
  std::string other = "not run";
  std::thread([&] {
    other = LastError();
    qx25_get_port_status(Handle, 99);
  }).join();
  EXPECT_EQ(other, "");
  EXPECT_EQ(LastError(), "Can't START POMP");
}

TEST(COpen, APortOutsideTheTablesOpensNothing) {
  EXPECT_EQ(qx25_open(0, 31, "/dev/null"), nullptr);
  EXPECT_NE(LastError().find("Port 31"), std::string::npos) << LastError();
  qx25_handle* handle = qx25_open(0, 0, nullptr);  // no mapping at all
  ASSERT_NE(handle, nullptr);
  EXPECT_NE(qx25_driver(handle), nullptr);
  qx25_close(handle);
}

}  // namespace
