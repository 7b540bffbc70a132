// The introduction window: the text of "说明文档.txt", shown modally from "帮助" > "关于".
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <array>

namespace rostrel {

// Reads the introduction file line by line (a line ends at CR, LF or CR LF) and returns the
// concatenation of CR LF + line for every line, so the text starts with a line break. The
// bytes are UTF-8 when they are valid UTF-8, otherwise GB18030 (a file from a Chinese Windows
// system). A missing or unreadable file gives an empty text.
QString readIntroduction(const QString& path);

class FrmQd : public QDialog {
    Q_OBJECT
public:
    // `file` is the introduction file; empty looks "说明文档.txt" up in the current directory,
    // then in the installed data folder.
    explicit FrmQd(QWidget* parent = nullptr, const QString& file = QString());

    // The text of Text1 as loaded, line breaks as CR LF.
    const QString& text() const { return text_; }

    QLabel* Label1 = nullptr;
    QPlainTextEdit* Text1 = nullptr;
    std::array<QLabel*, 3> Label2{};

private:
    void Form_Load(const QString& file);
    QString text_;
};

} // namespace rostrel
