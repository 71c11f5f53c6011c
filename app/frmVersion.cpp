#include "frmVersion.h"

#include "dialogFont.h"
#include "modVokCom.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QStyle>

namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int px(int twips) { return twips / kTwipsPerPixel; }

constexpr int kIconSize = 32;
constexpr int kLabelPointSize = 9;

struct Box {
    int left, top, width, height;  // twips
};

// Positions in twips within the client area.
constexpr int kClientWidth = 5550;
constexpr int kClientHeight = 1860;
constexpr Box kIconBox{240, 240, 480, 480};
constexpr Box kLabel1Box{960, 300, 600, 270};
constexpr Box kLabel5Box{1560, 300, 900, 270};
constexpr Box kVersionBox{2460, 300, 900, 270};
constexpr Box kLabel2Box{960, 840, 4470, 270};
constexpr Box kLabel4Box{960, 1260, 4470, 270};
constexpr Box kOkBox{4320, 240, 1110, 390};

void place(QWidget* w, const Box& b) { w->setGeometry(px(b.left), px(b.top), px(b.width), px(b.height)); }

QLabel* addLabel(QWidget* parent, const char* name, const QString& text, const Box& box) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(dialogFont(kLabelPointSize));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    place(label, box);
    return label;
}

QPixmap programIcon(const QWidget* dialog) {
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull()) icon = dialog->style()->standardIcon(QStyle::SP_ComputerIcon);
    QPixmap pixmap = icon.pixmap(kIconSize, kIconSize);
    // A theme may offer only smaller sizes; the picture is always 32 by 32.
    if (pixmap.deviceIndependentSize().toSize() != QSize(kIconSize, kIconSize))
        pixmap = pixmap.scaled(QSize(kIconSize, kIconSize) * pixmap.devicePixelRatio(), Qt::KeepAspectRatio,
                               Qt::SmoothTransformation);
    return pixmap;
}

}  // namespace

frmVersion::frmVersion(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmVersion"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    setModal(true);
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* imgIcon = new QLabel(this);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setPixmap(programIcon(this));
    place(imgIcon, kIconBox);

    addLabel(this, "Label1", QStringLiteral("VOK"), kLabel1Box);
    addLabel(this, "Label5", QStringLiteral("Version"), kLabel5Box);
    addLabel(this, "lblVersion", QString::fromLatin1(vok::kProgramVersion.data(), static_cast<qsizetype>(vok::kProgramVersion.size())), kVersionBox);
    addLabel(this, "Label2", QStringLiteral("本プログラムの無断複製・転載を禁じます"), kLabel2Box);
    addLabel(this, "Label4", QStringLiteral("お問い合わせはシステム管理者までお願いします"), kLabel4Box);

    auto* cmdOk = new QPushButton(QStringLiteral("ＯＫ"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setDefault(true);
    cmdOk->setAutoDefault(true);
    place(cmdOk, kOkBox);
    connect(cmdOk, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(px(kClientWidth), px(kClientHeight));
}
