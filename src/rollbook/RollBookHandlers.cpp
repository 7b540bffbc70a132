// Roll-book file, class selection and roster loading.
#include "shell/FrmMd.h"

namespace rostrel {

void FrmMd::wireRollBook() {}

void FrmMd::OpenClassSheet(int16_t&) {}

void FrmMd::UseDefaultRollBook() {}

void FrmMd::Image1_Click() {}

void FrmMd::ListClasses() {}

void FrmMd::cmbXls_Click() {}

void FrmMd::MnBj_Click(int) {}

void FrmMd::Image2_Click() {}

void FrmMd::CmbXm_Click() {}

void FrmMd::LoadClassRoster() {}

void FrmMd::BuildPickPool() {}

} // namespace rostrel
