// Start-up, first activation, closing, layout pass and display modes of the main window.
#include "shell/FrmMd.h"

namespace rostrel {

void FrmMd::wireShell() {}

void FrmMd::Form_Initialize() {
    st.FirstShow = 1;
}

void FrmMd::Form_Activate() {
    if (st.FirstShow != 1)
        return;
    st.FirstShow = 0;
    ui.OptFl[1]->setChecked(true);
}

void FrmMd::Form_QueryUnload() {
    st.ExcelBook = nullptr;
    if (!st.ExcelApp)
        return;
    try {
        st.ExcelApp->quit();
    } catch (...) {
    }
    st.ExcelApp.reset();
}

void FrmMd::Form_Resize() {}

void FrmMd::MnXs_Click(int) {}

void FrmMd::MnBz_Click(int) {}

} // namespace rostrel
