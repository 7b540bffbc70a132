// Group formation and browsing.
#include "shell/FrmMd.h"

namespace rostrel {

void FrmMd::wireGrouping() {}

void FrmMd::OptFz_Click(int) {}

void FrmMd::txtFz_Change(int) {}

void FrmMd::txtFz_KeyPress(int, int) {}

void FrmMd::txtFz_LostFocus(int) {}

void FrmMd::imgFz_Click(int) {}

void FrmMd::List2_Click() {}

void FrmMd::chkXx_Click() {}

} // namespace rostrel
