// qx25ctl --stats: the line statistics at the end of a run, against the
// built-in simulator answering well, staying silent and refusing.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <sstream>

#include "Spawn.h"

namespace {

// The statistics of the one port a --json --stats run used.
QJsonObject PortStats(const QJsonObject& Output) {
  const QJsonArray ports = Output["stats"].toArray();
  EXPECT_EQ(ports.size(), 1);
  return ports.isEmpty() ? QJsonObject{} : ports.first().toObject();
}

TEST(Stats, JsonCountsEveryExchangeOfARun) {
  const RunResult r = Ctl({"--simulate", "--json", "--stats", "poll", "--sides", "2"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  bool valid = false;
  const QJsonObject o = JsonOf(r.Out, &valid);
  ASSERT_TRUE(valid) << r.Out;
  EXPECT_EQ(o["state"].toInt(), 192);  // the result is still there
  const QJsonObject p = PortStats(o);
  EXPECT_EQ(p["port"].toInt(), 1);
  // The current delivery (what a host would remember), then one status
  // request per side.
  EXPECT_EQ(p["exchanges"].toInt(), 3);
  EXPECT_EQ(p["accepted"].toInt(), 3);
  EXPECT_EQ(p["timeouts"].toInt(), 0);
  EXPECT_EQ(p["rejected"].toInt(), 0);
  EXPECT_EQ(p["refusals"].toInt(), 0);
  EXPECT_EQ(p["line_errors"].toInt(), 0);
  // A paced 20-byte reply alone takes about 40 ms at 4800 baud.
  EXPECT_GT(p["median_reply_ms"].toDouble(), 30.0);
  EXPECT_GE(p["worst_reply_ms"].toDouble(), p["median_reply_ms"].toDouble());
}

TEST(Stats, ASilentLineShowsItsTimeOutsBesideTheError) {
  const RunResult r = Ctl(
      {"--simulate", "--sim-fault", "silence", "--timeout", "100", "--json", "--stats", "poll"});
  EXPECT_EQ(r.Status, 3) << r.Err;
  bool valid = false;
  const QJsonObject o = JsonOf(r.Out, &valid);
  ASSERT_TRUE(valid) << r.Out;
  EXPECT_EQ(o["error"].toObject()["kind"].toString(), "line");
  const QJsonObject p = PortStats(o);
  EXPECT_EQ(p["exchanges"].toInt(), 1);
  EXPECT_EQ(p["timeouts"].toInt(), 1);
  EXPECT_EQ(p["accepted"].toInt(), 0);
  EXPECT_EQ(p["median_reply_ms"].toDouble(), 0.0);  // no reply, no reply time
}

TEST(Stats, TextTableOnStderrCountsARefusal) {
  const RunResult r = Ctl({"--simulate", "--sim-fault", "refuse", "--stats", "start"});
  EXPECT_EQ(r.Status, 1) << r.Err;
  EXPECT_EQ(r.Out.find("line statistics"), std::string::npos);  // stdout keeps the result only
  const size_t table = r.Err.find("line statistics:\n");
  ASSERT_NE(table, std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("refusals", table), std::string::npos);
  const size_t row = r.Err.find("COM1 ", table);
  ASSERT_NE(row, std::string::npos) << r.Err;
  // COM1, exchanges, accepted, time-outs, rejected, refusals, line errors.
  std::istringstream fields(r.Err.substr(row + 4));
  int exchanges = -1, accepted = -1, timeouts = -1, rejected = -1, refusals = -1, errors = -1;
  fields >> exchanges >> accepted >> timeouts >> rejected >> refusals >> errors;
  EXPECT_EQ(exchanges, 1);
  EXPECT_EQ(accepted, 1);
  EXPECT_EQ(timeouts, 0);
  EXPECT_EQ(rejected, 0);
  EXPECT_EQ(refusals, 1);
  EXPECT_EQ(errors, 0);
}

TEST(Stats, OnlyWhenAskedAndAlongsideTheTrace) {
  const RunResult plain = Ctl({"--simulate", "--sim-unpaced", "--json", "total"});
  ASSERT_EQ(plain.Status, 0) << plain.Err;
  EXPECT_FALSE(JsonOf(plain.Out).contains("stats"));
  EXPECT_EQ(plain.Err.find("line statistics"), std::string::npos);

  // The trace and the statistics share the dispatcher's one trace.
  const RunResult both = Ctl({"--simulate", "--sim-unpaced", "--trace", "--stats", "total"});
  ASSERT_EQ(both.Status, 0) << both.Err;
  EXPECT_TRUE(SentAnything(both));
  EXPECT_NE(both.Err.find("line statistics:\n"), std::string::npos) << both.Err;
}

}  // namespace
