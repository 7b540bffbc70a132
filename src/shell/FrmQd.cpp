#include "shell/FrmQd.h"

#include "Version.h"
#include "platform/qt/DesktopPlatform.h"
#include "shell/Controls.h"
#include "shell/Fonts.h"
#include "shell/Twips.h"

#include <QFile>
#include <QStringDecoder>

namespace rostrel {

QString readIntroduction(const QString& path) {
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString content = utf8(bytes);
    if (utf8.hasError()) {
        QStringDecoder gb("GB18030");
        content = gb.isValid() ? QString(gb(bytes)) : QString::fromLocal8Bit(bytes);
    }
    QString text;
    qsizetype i = 0;
    const qsizetype n = content.size();
    while (i < n) {
        qsizetype end = i;
        while (end < n && content[end] != u'\r' && content[end] != u'\n')
            ++end;
        text += QStringLiteral("\r\n");
        text += QStringView(content).mid(i, end - i);
        if (end < n && content[end] == u'\r' && end + 1 < n && content[end + 1] == u'\n')
            end += 2;
        else if (end < n)
            end += 1;
        i = end;
    }
    return text;
}

FrmQd::FrmQd(QWidget* parent, const QString& file) : QDialog(parent) {
    setObjectName(QStringLiteral("FrmQd"));
    setWindowTitle(QStringLiteral(" 简介"));
    setFont(designFont(kFontYahei, 9));
    setFixedSize(px(12540), px(13365));

    Label1 = new QLabel(QStringLiteral("Rostrel简介"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFont(designFont(kFontYahei, 24));
    Label1->setGeometry(pxRect(0, 240, 12540, 780));

    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setFont(designFont(kFontSong, 12));
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setGeometry(pxRect(157, 1140, 12225, 10905));

    const QStringList lines{QStringLiteral("Rostrel 课堂点名、分组与计时"), QStringLiteral("Rostrel 开发组"),
                            QStringLiteral("版本 " ROSTREL_VERSION)};
    for (int i = 0; i < 3; ++i) {
        Label2[i] = new QLabel(lines[i], this);
        Label2[i]->setObjectName(arrayName("Label2", i));
        Label2[i]->setGeometry(pxRect(157 + i * 4080, 12300, 4000, 600));
        Label2[i]->setAlignment(Qt::AlignCenter);
    }
    Form_Load(file);
}

void FrmQd::Form_Load(const QString& file) {
    text_ = readIntroduction(file.isEmpty() ? findDataFile(QStringLiteral("说明文档.txt")) : file);
    QString shown = text_;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text1->setPlainText(shown);
}

} // namespace rostrel
