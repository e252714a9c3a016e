#include "ui/Workers.h"

TReadParamsTread* ReadParamsThread = nullptr;
TWriteParamsTread* WriteParamsThread = nullptr;

TParamsTread::TParamsTread(qx25::ui::TBulk RunKind,
                           std::shared_ptr<const qx25::ui::TRunInputs> RunInputs)
    : Kind(RunKind), Inputs(std::move(RunInputs)) {
  qRegisterMetaType<qx25::ui::TRowResult>();
}

void TParamsTread::run() {
  qx25::ui::RunBulk(Kind, *Inputs,
                    [this](const qx25::ui::TRowResult& Result) { emit RowDone(Result); });
}
