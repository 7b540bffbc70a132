// The main window: holds the session state and every control; its handlers are defined in
// the folder of the subsystem they belong to (rollbook/, rollcall/, numbers/, grouping/,
// clock/, scoring/) and wired to the controls by that subsystem's wire function.
#pragma once

#include "platform/Platform.h"
#include "shell/Controls.h"
#include "shell/SessionState.h"

#include <QMainWindow>

namespace rostrel {

class FrmMd : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmMd(const Platform& platform, QWidget* parent = nullptr);
    ~FrmMd() override;

    SessionState st;
    Controls ui;
    Platform platform;

    // Plays a cue through the platform; never fails.
    void PlayWave(const QString& relativePath);

    // ---- Shell (shell/) ----
    void Form_Initialize();        // start-up steps
    void Form_Activate();          // first activation selects the number category
    void Form_QueryUnload();       // releases the workbook session
    void Form_Resize();            // layout pass
    void MnXs_Click(int index);    // display modes
    void MnBz_Click(int index);    // "关于"

    // ---- Roll book (rollbook/) ----
    void OpenClassSheet(int16_t& sheetIndex);
    void UseDefaultRollBook();     // steps of the name-list switch: default file, choice, listing
    void Image1_Click();
    void ListClasses();
    void cmbXls_Click();
    void MnBj_Click(int index);
    void Image2_Click();
    void CmbXm_Click();
    void LoadClassRoster();
    void BuildPickPool();

    // ---- Roll call (rollcall/) ----
    void DrawNext();
    void RemovePicked();
    void lblXm_Click();
    void Timer1_Timer();
    void cmdNext_Click(int index);
    void OptFl_Click(int index);
    void MnFl_Click(int index);
    void OptDmFs_Click(int index);
    void MnFs_Click(int index);
    void chkGd_Click();
    void List1_Click();
    void List1_MouseUp();
    // Selects the group and the member of the first member with this key (group order, then
    // slot order); false when no member has it.
    bool ShowMember(const QString& key);

    // ---- Number list (numbers/) ----
    void txtXh_GotFocus(int index);
    void txtXh_KeyPress(int index, int keyAscii);
    void txtXh_LostFocus(int index);
    void txtShu_GotFocus();
    void txtShu_LostFocus();
    void txtShu_KeyPress(int keyAscii);
    void ImgZdy_Click(int index);
    void lstHm_Click();
    void lstHm_DblClick();
    void LoadNumberList();

    // ---- Grouping (grouping/) ----
    void OptFz_Click(int index);
    void txtFz_Change(int index);
    void txtFz_KeyPress(int index, int keyAscii);
    void txtFz_LostFocus(int index);
    void imgFz_Click(int index);
    void List2_Click();
    // Lists groups 1..groupCount in List2 (the member list emptied) and shows group 1.
    void ListGroups(int groupCount);
    void chkXx_Click();

    // ---- Clock (clock/) ----
    void imgJs_Click();
    void lblSj_Click();
    void timJs_Timer();
    void MnJs_Click(int index);
    int Combo1_KeyPress(int index, int keyAscii); // the key to type, 0 when it is discarded
    void Combo1_LostFocus(int index);
    void Command1_Click(int index);
    void SetClockIdle(); // the start image back in its idle state, without a sound

    // ---- Scoring (scoring/) ----
    void imgXie_Click(int index);
    void chkRq_Click();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls(); // shell/FrmMdLayout.cpp
    // Each subsystem connects its controls' signals to its handlers.
    void wireShell();
    void wireRollBook();
    void wireRollCall();
    void wireNumbers();
    void wireGrouping();
    void wireClock();
    void wireScoring();
};

} // namespace rostrel
