// Controller parameters, common commands and address programming over the
// line, addressed the way the service window and its workers address them:
// by the catalog's link mode, code and digit count.
#include <algorithm>

#include "Rig.h"
#include "params/ParameterUnit.h"

namespace e2e {
namespace {

using qx25::sim::Bytes;

class Parameters : public Rig {
 protected:
  void SetUp() override {
    Rig::SetUp();
    Catalog.Fill();
  }
  CTRKParameters Catalog;
};

// Digits a parameter code has on the controller's side.
int TableDigits(int Code) { return qx25::ParamDigits.at(static_cast<size_t>(Code)); }

// A value for the entry that both the write and the read carry whole, within
// the entry's limits, not 0, and different from code to code.
int64_t TestValue(const CParameter& Entry) {
  const int digits = std::min<int>(Entry.Digits, TableDigits(Entry.Code));
  const int64_t high = std::min(Entry.MaxValue, qx25::MaxDigitsValue(digits));
  const int64_t low = std::max<int64_t>(Entry.MinValue, 1);
  return low + Entry.Code % (high - low + 1);
}

TEST_P(Parameters, EveryCodeOfTheBulkRangeIsWrittenAndReadBack) {
  constexpr int kAddress = 17;  // group byte 7
  std::vector<int> codes;
  for (int i = kBulkFirst; i < Catalog.Count(); ++i) {
    const CParameter& entry = Catalog.Items(i);
    codes.push_back(entry.Code);
    const std::optional<TLinkMode> mode = LinkModeOf(entry.Kind);
    ASSERT_EQ(mode, lmParameter) << "code " << entry.Code;
    const int64_t value = TestValue(entry);
    SCOPED_TRACE("code " + std::to_string(entry.Code) + ", value " + std::to_string(value));

    EXPECT_TRUE(D().WriteParam(*mode, kPort, kAddress, entry.Code, entry.Digits, value));
    EXPECT_EQ(Status(), 1);
    const int64_t read = D().ReadParam(*mode, kPort, kAddress, entry.Code, entry.Digits);
    EXPECT_EQ(Status(), 1);
    if (entry.Code == qx25::kPasswordCode) {
      // A password goes in; what comes out is the confirmation of the last
      // password operation, which a new password clears.
      EXPECT_EQ(read, qx25::sim::kConfirmNone);
      continue;
    }
    EXPECT_EQ(read, value);
    EXPECT_EQ(Sim.State(kAddress).Params[static_cast<size_t>(entry.Code)], value);
    if (entry.Code == qx25::kCalibrationCode) {
      // Written under the calibration password, which now reads as done.
      EXPECT_EQ(D().ReadParam(*mode, kPort, kAddress, qx25::kPasswordCode, 4),
                qx25::sim::kConfirmDone);
    }
  }
  std::vector<int> expected{2, 3};
  for (int code = 5; code <= 45; ++code) expected.push_back(code);
  EXPECT_EQ(codes, expected);
  // Nothing reached the other controllers.
  EXPECT_EQ(Sim.State(1).Params, decltype(Sim.State(1).Params){});
}

TEST_P(Parameters, ARefusedWriteIsReportedAsNotWritten) {
  Sim.SetParam(1, 16, 75000);
  Sim.SetCodeFault(16, Fault::Refuse, qx25::sim::ParamAccess::Write);
  EXPECT_FALSE(D().WriteParam(lmParameter, kPort, 1, 16, 6, 81250));
  EXPECT_EQ(Status(), qx25::kRefusedParam);
  EXPECT_EQ(Sim.State(1).Params[16], 75000);
  // The code still reads, and the other codes still write.
  EXPECT_EQ(D().ReadParam(lmParameter, kPort, 1, 16, 6), 75000);
  EXPECT_TRUE(D().WriteParam(lmParameter, kPort, 1, 9, 4, 750));
  EXPECT_EQ(Status(), 1);
  Sim.ClearCodeFaults();
  EXPECT_TRUE(D().WriteParam(lmParameter, kPort, 1, 16, 6, 81250));
  EXPECT_EQ(Sim.State(1).Params[16], 81250);

  // The controller's own refusal: a value too long for code 5's three digits.
  EXPECT_FALSE(D().WriteParam(lmParameter, kPort, 1, 5, 4, 1000));
  EXPECT_EQ(Status(), qx25::kRefusedParam);
  EXPECT_EQ(Sim.State(1).Params[5], 0);
}

TEST_P(Parameters, HostSlotsReadAndWriteByParameterNumber) {
  // Side 1, code 5: three digits.
  D().SetPar(kPort, 1, 15, 250);
  EXPECT_EQ(Status(), 1);
  EXPECT_EQ(Sim.State(1).Params[5], 250);
  EXPECT_EQ(D().GetParam(kPort, 1, 15), 250);
  // Side 2 of nozzle 1 is address 2; code 1 has fifteen digits.
  Sim.SetParam(2, 1, 123456789012345);
  // The host's slot reads in 32 bits: more than nine digits wrap.
  EXPECT_EQ(D().GetParam(kPort, 1, 60 + 1 + 10),
            static_cast<int32_t>(static_cast<uint32_t>(123456789012345 % (int64_t{1} << 32))));
  EXPECT_EQ(D().ReadParam(lmParameter, kPort, 2, 1, 15), 123456789012345);
}

TEST_P(Parameters, CommonCommandsReachTheSimulator) {
  std::vector<qx25::sim::CommonCommand> sent;
  for (int i = 0; i < kBulkFirst; ++i) {
    const CParameter& entry = Catalog.Items(i);
    const std::optional<TLinkMode> mode = LinkModeOf(entry.Kind);
    if (mode != lmCommon) continue;
    const int64_t value = entry.MaxValue;
    EXPECT_TRUE(D().WriteParam(*mode, kPort, 1, entry.Code, entry.Digits, value));
    sent.push_back({entry.Code, static_cast<int>(value)});
  }
  ASSERT_EQ(sent.size(), 5u);
  D().SetPar(kPort, 1, 3, 1);
  sent.push_back({3, 1});

  // Nobody answers a common command: wait until the line has taken them all.
  ASSERT_TRUE(WaitForFrames(static_cast<int>(sent.size())));
  const auto seen = Sim.CommonCommands();
  ASSERT_EQ(seen.size(), sent.size());
  for (size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(seen[i].Command, sent[i].Command) << i;
    EXPECT_EQ(seen[i].Value, sent[i].Value) << i;
  }
}

TEST_P(Parameters, AddressIsProgrammedByIdNumber) {
  // The address record: the ID number in Code, the new address in Value.
  const CParameter& record = Catalog.Items(0);
  const std::optional<TLinkMode> mode = LinkModeOf(record.Kind);
  ASSERT_EQ(mode, lmAddress);
  const int64_t id = Sim.State(17).IdNumber;
  EXPECT_TRUE(D().WriteParam(*mode, kPort, 1, id, record.Digits, 40));
  EXPECT_EQ(Status(), 1);
  EXPECT_EQ(Sim.Addresses(), (std::vector<int>{1, 2, 40}));
  Sim.SetParam(40, 9, 750);
  EXPECT_EQ(D().ReadParam(lmParameter, kPort, 40, 9, 4), 750);

  // The host's slot: ID number x 100 + new address.
  EXPECT_EQ(Sim.State(1).IdNumber, 7654321);
  D().SetPar(kPort, 1, 9, 765432105);
  EXPECT_EQ(Status(), 1);
  EXPECT_EQ(Sim.History().back().Data,
            (Bytes{0x02, ']', '0', '0', '0', '7', '6', '0', '0', '5', '5', '4', '3', '2', '1'}));
  EXPECT_EQ(Sim.Addresses(), (std::vector<int>{2, 5, 40}));

  // No controller has the old address any more: the read goes unanswered.
  EXPECT_EQ(SerialIOMessage([&] { D().ReadParam(lmParameter, kPort, 1, 9, 4); }),
            qx25::kMsgReadLink);
}

INSTANTIATE_TEST_SUITE_P(Line, Parameters, testing::Values(LineMode::Paced, LineMode::Burst),
                         LineModeName);

}  // namespace
}  // namespace e2e
