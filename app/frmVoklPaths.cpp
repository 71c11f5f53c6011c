// The path boxes of the main window: change events, dropped files, selecting
// on focus, the browse buttons, the record-length box and its blink.
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "frmVokl.h"
#include "modVokCom.h"
#include "pathBox.h"

namespace {

// Typed into txt1_Sjsp, reveals the conversion variant "無変換".
const QString kAccessCode = QStringLiteral("QMR=\\7");
const QColor kBlinkGreen(0, 255, 0);
constexpr std::int16_t kBlinkTicks = 4;
const QString kRecSizeRangeMessage = QStringLiteral("1～32760の範囲で入力してください");
const QString kRecSizeOverflowMessage = QStringLiteral("1～32760の範囲で入力してください(2)");

QString changedExtension(const QString& path, const char* extension) {
    return QString::fromStdString(vok::ChgExt(path.toStdString(), extension));
}

}  // namespace

void frmVokl::connectPathBoxes() {
    auto onChange = [this](PathBox* box, std::function<void()> handler) {
        connect(box, &PathBox::textChanged, this, [this, handler] { guarded(handler); });
    };
    onChange(txt1_Sjsp, [this] { txt1_Sjsp_Change(); });
    onChange(txt1_Jefp, [this] { pathChanged(sPath1_Jef, txt1_Jefp, 1); });
    onChange(txt2_Jefp, [this] { pathChanged(sPath2_Jef, txt2_Jefp, 2); });
    onChange(txt2_Sjsp, [this] { pathChanged(sPath2_Sjs, txt2_Sjsp, 2); });
    onChange(txt2_Ptnp, [this] { txt2_Ptnp_Change(); });
    onChange(txt2_RecSize, [this] { txt2_RecSize_Change(); });
    onChange(txt3_Copyp, [this] { pathChanged(sPath3_Copy, txt3_Copyp, 3); });
    onChange(txt3_Ptnp, [this] { pathChanged(sPath3_Ptn, txt3_Ptnp, 3); });

    for (PathBox* box : {txt1_Sjsp, txt1_Jefp, txt2_Jefp, txt2_Sjsp, txt2_Ptnp, txt3_Copyp, txt3_Ptnp, txt2_RecSize}) {
        connect(box, &PathBox::filesDropped, this,
                [this, box](const QStringList& files) { guarded([=, this] { pathDropped(box, files); }); });
        connect(box, &PathBox::gotFocus, this,
                [this, box](Qt::FocusReason reason) { guarded([=, this] { pathGotFocus(box, reason); }); });
    }

    const std::pair<QPushButton*, PathBox*> browseButtons[] = {
        {cmd1_SjsRef, txt1_Sjsp}, {cmd1_JefRef, txt1_Jefp}, {cmd2_JefRef, txt2_Jefp}, {cmd2_SjsRef, txt2_Sjsp},
        {cmd2_PtnRef, txt2_Ptnp}, {cmd3_CopyRef, txt3_Copyp}, {cmd3_PtnRef, txt3_Ptnp}};
    for (const auto& [button, box] : browseButtons)
        connect(button, &QPushButton::clicked, this, [this, box = box] { guarded([=, this] { browse(box); }); });
}

void frmVokl::pathChanged(QString& variable, PathBox* box, int tab) {
    lblMsg->clear();
    variable = box->path();
    applyReadiness(tab);
}

void frmVokl::txt1_Sjsp_Change() {
    if (txt1_Sjsp->text() == kAccessCode) {
        revealHiddenOption();
        return;
    }
    pathChanged(sPath1_Sjs, txt1_Sjsp, 1);
}

void frmVokl::revealHiddenOption() {
    txt1_Sjsp->clear();
    opt1_4->setVisible(true);
    bHiddenOpt = -1;
    lblMsg->setText(QStringLiteral("隠しオプションを解除しました"));
}

void frmVokl::txt2_Ptnp_Change() {
    lblMsg->clear();
    const QString text = txt2_Ptnp->path();
    if (lUsePattern2 == 1) sPath2_Ptn = text;
    if (!text.isEmpty()) readRecSizeFromPattern(text);
    applyReadiness(2);
}

void frmVokl::readRecSizeFromPattern(const QString& patternPath) {
    // Only a plain file is read: opening a pipe here would block the window.
    const std::int16_t n =
        QFileInfo(patternPath).isFile() ? vok::PtnRecSize(vok::libraryPath(patternPath).toStdString()) : 0;
    if (n < 1) {
        txt2_RecSize->clear();
        lRecSize2 = 0;
        return;
    }
    txt2_RecSize->setText(QString::number(n));
    if (lAddCrLf2 == 1) lRecSize2 = n;
    Timer1->setInterval(kBlinkIntervalMs);
    Timer1->start();
}

void frmVokl::txt2_RecSize_Change() {
    if (lAddCrLf2 == 0) return;
    lblMsg->clear();
    const vok::RecSizeText read = vok::readRecSize(txt2_RecSize->text().toStdString());
    switch (read.kind) {
    case vok::RecSizeText::Kind::Number:
        lRecSize2 = read.value;
        applyReadiness(2);
        // Negative lengths (pasted) are as unfit for the library as large ones.
        if (lRecSize2 > vok::kMaxRecSize || lRecSize2 < 0) showMessage(kRecSizeRangeMessage);
        break;
    case vok::RecSizeText::Kind::NotNumber:
        txt2_RecSize->clear();
        lRecSize2 = 0;
        applyReadiness(2);
        break;
    case vok::RecSizeText::Kind::Overflow:
        txt2_RecSize->clear();
        lRecSize2 = 0;
        applyReadiness(2);
        // After the emptying, whose change event empties the status line.
        showMessage(kRecSizeOverflowMessage);
        break;
    }
}

void frmVokl::pathDropped(PathBox* box, const QStringList& files) {
    if (files.isEmpty() || box == txt2_RecSize) return;
    box->setText(QDir::toNativeSeparators(files.first()));
    int tab = 1;
    if (box == txt1_Sjsp) {
        if (!sPath1_Sjs.isEmpty()) proposeOutputs(txt1_Sjsp);
    } else if (box == txt2_Jefp) {
        tab = 2;
        if (!sPath2_Jef.isEmpty()) proposeOutputs(txt2_Jefp);
    } else if (box == txt2_Sjsp) {
        tab = 2;
        sPath2_Sjs = box->path();
    } else if (box == txt2_Ptnp) {
        tab = 2;
        if (lUsePattern2 == 1) sPath2_Ptn = box->path();
    } else if (box == txt3_Copyp) {
        tab = 3;
        sPath3_Copy = box->path();
        if (!sPath3_Copy.isEmpty()) proposeOutputs(txt3_Copyp);
    } else if (box == txt3_Ptnp) {
        tab = 3;
        sPath3_Ptn = box->path();
    }
    applyReadiness(tab);
}

// Output names proposed from an input path; they replace what the boxes held.
void frmVokl::proposeOutputs(PathBox* box) {
    if (box == txt1_Sjsp) {
        txt1_Jefp->setText(changedExtension(sPath1_Sjs, "bin"));
    } else if (box == txt2_Jefp) {
        txt2_Sjsp->setText(changedExtension(sPath2_Jef, "txt"));
        txt2_Ptnp->setText(changedExtension(sPath2_Jef, "ptn"));
    } else if (box == txt3_Copyp) {
        txt3_Ptnp->setText(changedExtension(sPath3_Copy, "ptn"));
        sPath3_Ptn = txt3_Ptnp->path();
    }
}

void frmVokl::pathGotFocus(PathBox* box, Qt::FocusReason reason) {
    // A click leaves the caret where the user put it; window switches and
    // closed menus leave the selection alone.
    if (box->mouseFlag != 0 || reason == Qt::MouseFocusReason || reason == Qt::ActiveWindowFocusReason ||
        reason == Qt::PopupFocusReason)
        return;
    box->selectAll();
}

void frmVokl::browse(PathBox* box) {
    struct Browse {
        PathBox* box;
        const QString* fileList;
        vok::DlgKind kind;
    };
    const Browse table[] = {
        {txt1_Sjsp, &vok::kTextFileList, vok::DlgKind::Open},     {txt1_Jefp, &vok::kBinaryFileList, vok::DlgKind::Save},
        {txt2_Jefp, &vok::kBinaryFileList, vok::DlgKind::Open},   {txt2_Sjsp, &vok::kTextFileList, vok::DlgKind::Save},
        {txt2_Ptnp, &vok::kPatternFileList, vok::DlgKind::Open},  {txt3_Copyp, &vok::kTextFileList, vok::DlgKind::Open},
        {txt3_Ptnp, &vok::kPatternFileList, vok::DlgKind::Save}};
    const Browse* entry = nullptr;
    for (const Browse& b : table)
        if (b.box == box) entry = &b;
    if (entry == nullptr) return;

    lblMsg->clear();
    const QString chosen = services_.files.CmDlgOpen(this, *entry->fileList, entry->kind, QDir::currentPath());
    if (!chosen.isEmpty()) {
        box->setText(QDir::toNativeSeparators(chosen));
        if (box == txt3_Copyp) sPath3_Copy = box->path();
        proposeOutputs(box);
    }
    if (box == txt2_Sjsp) sPath2_Sjs = box->path();
    if (box == txt2_Ptnp) sPath2_Ptn = box->path();
    if (box == txt3_Ptnp) sPath3_Ptn = box->path();
}

void frmVokl::Timer1_Timer() {
    if (iBlinkCount == 0) lRecSizeColor = txt2_RecSize->palette().color(QPalette::Base);
    if (iBlinkCount == kBlinkTicks) {
        Timer1->stop();
        iBlinkCount = 0;
        return;
    }
    if (Timer1Tag != QStringLiteral("OFF")) {
        setBoxBackground(txt2_RecSize, lRecSizeColor);
        Timer1Tag = QStringLiteral("OFF");
    } else {
        setBoxBackground(txt2_RecSize, kBlinkGreen);
        Timer1Tag = QStringLiteral("ON");
    }
    ++iBlinkCount;
}
