// The classroom clock and the numeric entry boxes.
#include "shell/FrmMd.h"

namespace rostrel {

void FrmMd::wireClock() {}

void FrmMd::imgJs_Click() {}

void FrmMd::lblSj_Click() {}

void FrmMd::timJs_Timer() {}

void FrmMd::MnJs_Click(int) {}

void FrmMd::Combo1_LostFocus(int) {}

void FrmMd::Command1_Click(int) {}

} // namespace rostrel
