// Range boxes, custom values and the number list.
#include "shell/FrmMd.h"

namespace rostrel {

void FrmMd::wireNumbers() {}

void FrmMd::txtXh_GotFocus(int) {}

void FrmMd::txtXh_KeyPress(int, int) {}

void FrmMd::txtXh_LostFocus(int) {}

void FrmMd::txtShu_GotFocus() {}

void FrmMd::txtShu_LostFocus() {}

void FrmMd::txtShu_KeyPress(int) {}

void FrmMd::ImgZdy_Click(int) {}

void FrmMd::lstHm_Click() {}

void FrmMd::lstHm_DblClick() {}

void FrmMd::LoadNumberList() {}

} // namespace rostrel
