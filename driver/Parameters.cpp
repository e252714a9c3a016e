// Controller parameters, common commands and network addresses over the link.
#include "Driver.h"

using namespace qx25;

int32_t TQX25::SetupPort(int32_t) { NotImplemented("SetupPort"); }
int32_t TQX25::GetParam(int32_t, int32_t, int32_t) { NotImplemented("GetParam"); }
void TQX25::SetPar(int32_t, int32_t, int32_t, int32_t) { NotImplemented("SetPar"); }
int64_t TQX25::ReadParam(uint8_t, int32_t, int32_t, int32_t, int32_t) { NotImplemented("ReadParam"); }
bool TQX25::WriteParam(uint8_t, int64_t, int64_t, int64_t, int64_t, int64_t) { NotImplemented("WriteParam"); }
void TQX25::WriteCtrlParam(int32_t, int32_t, int32_t, int32_t) { NotImplemented("WriteCtrlParam"); }
void TQX25::SetNetAddress(uint8_t, uint8_t, int32_t, int32_t) { NotImplemented("SetNetAddress"); }
int32_t TQX25::WriteCalibration(int32_t, int32_t, int32_t, int32_t) { NotImplemented("WriteCalibration"); }
int32_t TQX25::CalcNozzleAddress(int32_t, int32_t) { NotImplemented("CalcNozzleAddress"); }
int32_t TQX25::ApplyPortSettings(uint8_t) { NotImplemented("ApplyPortSettings"); }
