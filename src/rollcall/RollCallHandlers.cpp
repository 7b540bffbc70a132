// Pick engine, categories and draw rules, presentation of the pick.
#include "shell/FrmMd.h"

namespace rostrel {

void FrmMd::wireRollCall() {}

void FrmMd::DrawNext() {}

void FrmMd::RemovePicked() {}

void FrmMd::lblXm_Click() {}

void FrmMd::Timer1_Timer() {}

void FrmMd::cmdNext_Click(int) {}

void FrmMd::OptFl_Click(int) {}

void FrmMd::MnFl_Click(int) {}

void FrmMd::OptDmFs_Click(int) {}

void FrmMd::MnFs_Click(int) {}

void FrmMd::chkGd_Click() {}

void FrmMd::List1_Click() {}

void FrmMd::List1_MouseUp() {}

} // namespace rostrel
