#include "TStatFlg.h"

void TStacFlg::Clear() { FState = 0; }

void TStacFlg::Toggle() { FState = FState == 0 ? 1 : 0; }

std::int32_t TStacFlg::Value() const { return FState; }
