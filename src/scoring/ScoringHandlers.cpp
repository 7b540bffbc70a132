// Score entry and the write-back into the roll book.
#include "shell/FrmMd.h"

namespace rostrel {

void FrmMd::wireScoring() {}

void FrmMd::imgXie_Click(int) {}

void FrmMd::chkRq_Click() {}

} // namespace rostrel
