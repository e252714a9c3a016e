// After a controller has taken a new network address, whether it really
// answers there, and no longer where it was: a request that was accepted says
// only that some controller heard its ID number.
#include <cstdio>

#include "ParamWork.h"
#include "Toolbox.h"

namespace qx25::tools {

namespace {

// Read to see whether a controller answers: the software version, which
// every controller has and which no write changes.
constexpr int kProbeCode = 19;

bool Answers(Session& S, int Address) {
  S.Doing({"asking address " + std::to_string(Address), ""});
  try {
    ReadValue(S, Address, kProbeCode);
    return true;
  } catch (const Refused&) {
    return true;  // a refusal is an answer too
  } catch (const ESerialIO&) {
  } catch (const LineFailure&) {
  }
  return false;
}

}  // namespace

int CheckNewAddress(Session& S, int OldAddress, int NewAddress, Node& R) {
  const bool atNew = Answers(S, NewAddress);
  R.Add("answers_at_new_address", Node::Bool(atNew));
  const std::string to = std::to_string(NewAddress);
  if (!atNew) {
    throw LineFailure(
        "the controller took the request but does not answer at address " + to +
        "; ask it again with qx25ctl --address " + to + " read-param " +
        std::to_string(kProbeCode) +
        ", have common command 1 show ID numbers and addresses on the displays "
        "(qx25ctl common 1 1), or power the controller off and on and program it again");
  }
  if (OldAddress == 0 || OldAddress == NewAddress) return kExitOk;
  const bool atOld = Answers(S, OldAddress);
  R.Add("answers_at_old_address", Node::Bool(atOld));
  if (!atOld) return kExitOk;
  const std::string from = std::to_string(OldAddress);
  std::fprintf(stderr,
               "qx25ctl: a controller still answers at address %s as well as at %s: the ID "
               "number may belong to another controller than the one at %s, or two controllers "
               "had address %s; have common command 1 show ID numbers and addresses on the "
               "displays (qx25ctl common 1 1)\n",
               from.c_str(), to.c_str(), from.c_str(), from.c_str());
  return kExitLine;
}

}  // namespace qx25::tools
