// The main window: controls and start state, command line, tab switch,
// keyboard order, options and their state, the hidden option, Ctrl and Enter.
// Leaving with or without Ctrl is in tst_rundriver.
#include <QCheckBox>
#include <QGroupBox>
#include <QLockFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "fakeServices.h"

class tst_frmVokl : public QObject {
    Q_OBJECT

private slots:
    void captions_data();
    void captions();
    void positionsInTwips();
    void startState();
    void singleInstance();
    void lockFileGuard();
    void commandLine_data();
    void commandLine();
    void tabSwitch();
    void clickingShownTabOnlyEmptiesStatus();
    void setTabStop();
    void tabKeyStaysOnPage_data();
    void tabKeyStaysOnPage();
    void tab1Options();
    void chk2_3_patternAndKeptMarks();
    void trimBoxesEnableChk2_8();
    void chk2_2_recordLength();
    void tab3Separators();
    void hiddenOption();
    void accessCodeWithBlankIsAPath();
    void ctrlTracking();
    void enterPressesRunButton();
};

namespace {
QString text(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    return {};
}
}  // namespace

// The captions most easily mistyped: half-width katakana, ampersands for the
// accelerators, trailing blanks, and tips shared by several controls.
void tst_frmVokl::captions_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tip");
    const QString none;
    const QString lowerTip = QStringLiteral("ファイルに英小文字(半角カナなし)がある場合にチェックしてください");
    QTest::newRow("cmdOk") << "cmdOk" << "実行(&S)" << none;
    QTest::newRow("cmdCancel") << "cmdCancel" << "終了(&X)" << none;
    QTest::newRow("opt1_3") << "opt1_3" << "EBCDIC-ASCII" << lowerTip;
    QTest::newRow("opt2_2") << "opt2_2" << "EBCDIC-英小文字" << lowerTip;
    QTest::newRow("opt1_4") << "opt1_4" << "無変換" << "半角文字を変換しない場合にチェックしてください";
    QTest::newRow("chk2_3") << "chk2_3" << "レコードパターンを使用する(シフトコードが付いていない時は必ずチェックして下さい)"
                            << none;
    QTest::newRow("chk2_8") << "chk2_8" << "漢字項目のみをﾄﾘﾐﾝｸﾞ" << "トリミングするのを漢字の項目だけにします";
    QTest::newRow("lbl2_4") << "lbl2_4" << "ﾚｺｰﾄﾞ長:" << none;
    QTest::newRow("txt2_RecSize") << "txt2_RecSize" << QString() << "1～32760 の範囲で指定してください";
    QTest::newRow("txt3_Copyp") << "txt3_Copyp" << QString() << "レコードサイズは 255 バイトまでです";
    QTest::newRow("chk3_1") << "chk3_1" << "セパレータを付ける (項目と項目の間にセパレータを付加します)" << none;
    QTest::newRow("chk3_2") << "chk3_2"
                            << QStringLiteral("文字列の項目を引用符(\")で囲む") + QString(28, QLatin1Char(' '))
                            << none;
}

void tst_frmVokl::captions() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, tip);
    Harness h;
    QWidget* w = h.window->findChild<QWidget*>(name);
    QVERIFY2(w != nullptr, qPrintable(name));
    QCOMPARE(text(w), caption);
    QCOMPARE(w->toolTip(), tip);
}

void tst_frmVokl::positionsInTwips() {
    Harness h;
    frmVokl& w = *h.window;
    QCOMPARE(w.windowTitle(), QStringLiteral("ＶＯＫ v1.05"));
    QCOMPARE(w.cmdOk->geometry(), QRect(564, 27, 92, 28));     // 8460, 405, 1380, 420 twips
    QCOMPARE(w.cmdVersion->geometry(), QRect(564, 192, 92, 28));
    QCOMPARE(w.txt1_Sjsp->geometry(), QRect(15, 33, 404, 22));
    QCOMPARE(w.txt2_RecSize->geometry(), QRect(77, 47, 45, 19));
    QCOMPARE(w.tabRTF->geometry(), QRect(4, 8, 553, 425));
    QCOMPARE(w.lblMsg->pos(), QPoint(8, 436));
    QVERIFY(w.lblMsg->font().bold());
    QVERIFY(w.cmdOk->isDefault());
    // Fixed size, no minimise or maximise.
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(!(w.windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.txt2_RecSize->alignment() & Qt::AlignRight);
    QCOMPARE(w.tabRTF->count(), 3);
    QCOMPARE(w.tabRTF->tabText(0), QStringLiteral("シフトJIS->JEF変換"));
    QCOMPARE(w.tabRTF->tabText(1), QStringLiteral("JEF->シフトJIS変換"));
    QCOMPARE(w.tabRTF->tabText(2), QStringLiteral("レコードパターン作成"));
}

void tst_frmVokl::startState() {
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(!w.cmdOk->isEnabled());
    QVERIFY(w.lblMsg->text().isEmpty());
    QCOMPARE(w.Timer1Tag, QStringLiteral("OFF"));
    QVERIFY(!w.Timer1->isActive());
    QVERIFY(!w.chk1_1->isEnabled());
    QVERIFY(w.opt1_4->isHidden());
    QCOMPARE(w.opt1_4->palette().color(QPalette::WindowText), QColor(192, 0, 0));
    for (QWidget* c : std::initializer_list<QWidget*>{w.lbl2_3, w.txt2_Ptnp, w.cmd2_PtnRef, w.chk2_4, w.chk2_5,
                                                      w.chk2_6, w.chk2_7, w.chk2_8, w.lbl2_4, w.txt2_RecSize,
                                                      w.lbl2_5, w.opt3_1, w.opt3_2})
        QVERIFY2(!c->isEnabled(), qPrintable(c->objectName()));
    QCOMPARE(w.txt2_Ptnp->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Button));
    for (QRadioButton* o : w.findChildren<QRadioButton*>()) QVERIFY(!o->isChecked());
    for (QCheckBox* c : w.findChildren<QCheckBox*>()) QVERIFY(!c->isChecked());
    QCOMPARE(w.iTabNo, 1);
    QCOMPARE(w.lLogMode, 1);
    QCOMPARE(w.bHiddenOpt, 0);
    QCOMPARE(w.sPath2_Ptn, QStringLiteral("_********_"));
    QCOMPARE(w.lEbcdicMode1 + w.lEbcdicMode2 + w.lRecSize2 + w.lUsePattern2 + w.lSeparator3, 0);
    QVERIFY(w.sErrLog.isEmpty());
    // The library is not touched at start-up.
    QCOMPARE(h.fakeLibrary.versionCalls, 0);
    QVERIFY(h.messages.calls.isEmpty());
    QVERIFY(h.showActive());
    QCOMPARE(QApplication::focusWidget(), w.txt1_Sjsp);
}

void tst_frmVokl::singleInstance() {
    Harness h;
    h.guard.free = false;
    QVERIFY(!h.window->Form_Load(QString()));
    QCOMPARE(h.messages.calls.size(), 1);
    const BoxCall& box = h.messages.calls.first();
    QCOMPARE(box.text, QStringLiteral("既に起動されています"));
    QCOMPARE(box.title, QStringLiteral("二重起動の確認"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!h.window->isVisible());
}

void tst_frmVokl::lockFileGuard() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vok.lock"));
    vok::LockFileGuard first(path);
    QVERIFY(first.tryAcquire());
    // A second process finds the lock taken; a second guard in this process
    // stands for it, since QLockFile refuses the same file twice.
    vok::LockFileGuard second(path);
    QVERIFY(!second.tryAcquire());
}

void tst_frmVokl::commandLine_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("sjsp1");
    QTest::addColumn<QString>("jefp1");
    QTest::addColumn<QString>("jefp2");
    QTest::addColumn<QString>("sjsp2");
    QTest::addColumn<QString>("ptnp2");
    QTest::newRow("empty") << "" << 1 << "" << "" << "" << "" << "";
    QTest::newRow(".TXT") << "/data/a.TXT" << 1 << "/data/a.TXT" << "/data/a.bin" << "" << "" << "";
    QTest::newRow(".txt") << "/data/a.txt" << 1 << "/data/a.txt" << "/data/a.bin" << "" << "" << "";
    QTest::newRow(".bin") << "/data/b.bin" << 2 << "" << "" << "/data/b.bin" << "/data/b.txt" << "/data/b.ptn";
    QTest::newRow(".BIN") << "/データ/b.BIN" << 2 << "" << "" << "/データ/b.BIN" << "/データ/b.txt"
                          << "/データ/b.ptn";
    QTest::newRow("both: tab 1") << "/x.bin/a.txt" << 1 << "/x.bin/a.txt" << "/x.bin/a.bin" << "" << "" << "";
    QTest::newRow(".Txt") << "/data/a.Txt" << 1 << "" << "" << "" << "" << "";
    QTest::newRow(".Bin") << "/data/a.Bin" << 1 << "" << "" << "" << "" << "";
    QTest::newRow("blanks kept") << "/my data/a b.txt" << 1 << "/my data/a b.txt" << "/my data/a b.bin" << ""
                                 << "" << "";
}

void tst_frmVokl::commandLine() {
    QFETCH(QString, line);
    QFETCH(int, tab);
    Harness h;
    frmVokl& w = h.load(line);
    QCOMPARE(int(w.iTabNo), tab);
    QCOMPARE(w.tabRTF->currentIndex(), tab - 1);
    QTEST(w.txt1_Sjsp->text(), "sjsp1");
    QTEST(w.sPath1_Sjs, "sjsp1");
    QTEST(w.txt1_Jefp->text(), "jefp1");
    QTEST(w.sPath1_Jef, "jefp1");
    QTEST(w.txt2_Jefp->text(), "jefp2");
    QTEST(w.sPath2_Jef, "jefp2");
    QTEST(w.txt2_Sjsp->text(), "sjsp2");
    QTEST(w.txt2_Ptnp->text(), "ptnp2");
    // No conversion variant is chosen yet, whatever was filled in.
    QVERIFY(!w.cmdOk->isEnabled());
    if (tab == 2) {
        QVERIFY(w.isVisible());
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(QApplication::focusWidget(), w.txt2_Jefp);
        QCOMPARE(w.sPath2_Ptn, QStringLiteral("_********_"));  // chk2_3 is off
    }
}

void tst_frmVokl::tabSwitch() {
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    w.txt3_Copyp->setText(QStringLiteral("/d/a.cbl"));
    w.txt3_Ptnp->setText(QStringLiteral("/d/a.ptn"));
    QVERIFY(w.cmdOk->isEnabled());  // tab 3's rule, set by its own boxes
    w.lblMsg->setText(QStringLiteral("x"));
    w.tabRTF->setCurrentIndex(0);
    w.tabRTF->setCurrentIndex(1);
    QCOMPARE(w.iTabNo, 2);
    QVERIFY(w.lblMsg->text().isEmpty());
    QVERIFY(!w.cmdOk->isEnabled());
    QCOMPARE(QApplication::focusWidget(), w.txt2_Jefp);
    w.tabRTF->setCurrentIndex(2);
    QCOMPARE(w.iTabNo, 3);
    QVERIFY(w.cmdOk->isEnabled());
    QCOMPARE(QApplication::focusWidget(), w.txt3_Copyp);
    QVERIFY(w.fraTab[2]->isVisible());
    QVERIFY(!w.fraTab[0]->isVisible());
}

void tst_frmVokl::clickingShownTabOnlyEmptiesStatus() {
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    w.txt1_Jefp->setFocus();
    w.lblMsg->setText(QStringLiteral("前の結果"));
    w.cmdOk->setEnabled(true);  // not recomputed by a click on the shown tab
    QTabBar* bar = w.tabRTF->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    QVERIFY(w.lblMsg->text().isEmpty());
    QVERIFY(w.cmdOk->isEnabled());
    QCOMPARE(w.iTabNo, 1);
    QCOMPARE(QApplication::focusWidget(), w.txt1_Jefp);
}

void tst_frmVokl::setTabStop() {
    Harness h;
    frmVokl& w = h.load();
    w.SetTabStop(2);
    QCOMPARE(w.txt2_RecSize->focusPolicy(), Qt::StrongFocus);
    QCOMPARE(w.chk2_8->focusPolicy(), Qt::StrongFocus);
    QCOMPARE(w.txt1_Sjsp->focusPolicy(), Qt::ClickFocus);
    QCOMPARE(w.chk3_2->focusPolicy(), Qt::ClickFocus);
    w.SetTabStop(7);
    for (QWidget* c : std::initializer_list<QWidget*>{w.txt1_Sjsp, w.opt1_4, w.txt2_Jefp, w.opt2_3, w.txt3_Copyp,
                                                      w.chk3_2})
        QCOMPARE(c->focusPolicy(), Qt::ClickFocus);
    QCOMPARE(w.cmdOk->focusPolicy(), Qt::StrongFocus);
}

void tst_frmVokl::tabKeyStaysOnPage_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("1") << 1 << "1_";
    QTest::newRow("2") << 2 << "2_";
    QTest::newRow("3") << 3 << "3_";
}

void tst_frmVokl::tabKeyStaysOnPage() {
    QFETCH(int, tab);
    QFETCH(QString, prefix);
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    w.tabRTF->setCurrentIndex(tab - 1);
    w.chk3_1->setChecked(true);  // makes opt3_1 reachable
    w.chk2_3->setChecked(true);
    w.txt1_Sjsp->setFocus();
    QSet<QString> seen;
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen.insert(QApplication::focusWidget()->objectName());
    }
    for (const QString& name : seen) {
        const bool onPage = name.contains(prefix);
        const bool always = QStringList{"cmdOk", "cmdCancel", "cmdHelp", "cmdVersion", "qt_tabwidget_tabbar"}
                                .contains(name);
        QVERIFY2(onPage || always, qPrintable(name));
    }
    QVERIFY(seen.contains("cmdCancel"));
    QVERIFY(seen.contains(tab == 1 ? "txt1_Jefp" : tab == 2 ? "txt2_Sjsp" : "chk3_2"));
}

void tst_frmVokl::tab1Options() {
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    w.txt1_Sjsp->setText(QStringLiteral("/d/a.txt"));
    w.txt1_Jefp->setText(QStringLiteral("/d/a.bin"));
    QVERIFY(!w.cmdOk->isEnabled());
    w.lblMsg->setText(QStringLiteral("x"));
    w.opt1_1->setChecked(true);
    QCOMPARE(w.lEbcdicMode1, 1);
    QVERIFY(w.chk1_1->isEnabled());
    QCOMPARE(QApplication::focusWidget(), w.chk1_1);
    QVERIFY(w.cmdOk->isEnabled());
    QVERIFY(w.lblMsg->text().isEmpty());
    w.chk1_1->setChecked(true);
    QCOMPARE(w.lEbcdicMode1, 2);
    w.opt1_2->setChecked(true);
    QCOMPARE(w.lEbcdicMode1, 3);
    QVERIFY(!w.chk1_1->isEnabled());
    QVERIFY(w.chk1_1->isChecked());  // disabled boxes keep their mark
    w.opt1_3->setChecked(true);
    QCOMPARE(w.lEbcdicMode1, 4);
    w.opt1_1->setChecked(true);
    QVERIFY(w.chk1_1->isEnabled());
    QVERIFY(w.chk1_1->isChecked());
    QCOMPARE(w.lEbcdicMode1, 2);
    w.chk1_1->setChecked(false);
    QCOMPARE(w.lEbcdicMode1, 1);
    w.chk1_2->click();
    QCOMPARE(w.lShiftCode1, 1);
    w.chk1_2->click();
    QCOMPARE(w.lShiftCode1, 0);
    w.txt1_Jefp->clear();
    QVERIFY(!w.cmdOk->isEnabled());
}

void tst_frmVokl::chk2_3_patternAndKeptMarks() {
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    w.tabRTF->setCurrentIndex(1);
    w.txt2_Jefp->setText(QStringLiteral("/d/a.bin"));
    w.txt2_Sjsp->setText(QStringLiteral("/d/a.txt"));
    w.opt2_3->setChecked(true);
    QCOMPARE(w.lEbcdicMode2, 3);
    QVERIFY(w.cmdOk->isEnabled());
    w.chk2_3->setChecked(true);
    QCOMPARE(w.lUsePattern2, 1);
    QVERIFY(w.sPath2_Ptn.isEmpty());
    QVERIFY(!w.cmdOk->isEnabled());  // pattern asked for, none given
    for (QWidget* c : std::initializer_list<QWidget*>{w.lbl2_3, w.txt2_Ptnp, w.cmd2_PtnRef, w.chk2_4, w.chk2_5,
                                                      w.chk2_6, w.chk2_7})
        QVERIFY2(c->isEnabled(), qPrintable(c->objectName()));
    QVERIFY(!w.chk2_8->isEnabled());
    QCOMPARE(QApplication::focusWidget(), w.txt2_Ptnp);
    QCOMPARE(w.txt2_Ptnp->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
    w.txt2_Ptnp->setText(QStringLiteral("/d/a.ptn"));
    QCOMPARE(w.sPath2_Ptn, QStringLiteral("/d/a.ptn"));
    QVERIFY(w.cmdOk->isEnabled());
    w.chk2_4->setChecked(true);
    QCOMPARE(w.lKeepShift2, 1);
    w.chk2_3->setChecked(false);
    QVERIFY(!w.chk2_4->isEnabled());
    QVERIFY(w.chk2_4->isChecked());
    QCOMPARE(w.lKeepShift2, 1);
    QCOMPARE(w.sPath2_Ptn, QStringLiteral("_********_"));
    QCOMPARE(w.lUsePattern2, 0);
    QCOMPARE(w.txt2_Ptnp->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Button));
    QVERIFY(w.cmdOk->isEnabled());
}

void tst_frmVokl::trimBoxesEnableChk2_8() {
    Harness h;
    frmVokl& w = h.load();
    w.chk2_3->setChecked(true);
    w.cmdOk->setEnabled(true);
    w.lblMsg->setText(QStringLiteral("kept"));
    w.chk2_5->setChecked(true);
    QVERIFY(w.chk2_8->isEnabled());
    w.chk2_8->setChecked(true);
    w.chk2_6->setChecked(true);
    w.chk2_5->setChecked(false);
    QVERIFY(w.chk2_8->isEnabled());  // chk2_6 still on
    w.chk2_6->setChecked(false);
    QVERIFY(!w.chk2_8->isEnabled());
    QVERIFY(w.chk2_8->isChecked());
    // The trimming boxes touch neither the status line nor the run button.
    QCOMPARE(w.lblMsg->text(), QStringLiteral("kept"));
    QVERIFY(w.cmdOk->isEnabled());
    w.chk2_7->setChecked(true);
    QVERIFY(w.chk2_8->isEnabled());
    w.chk2_3->setChecked(false);
    QVERIFY(!w.chk2_8->isEnabled());
}

void tst_frmVokl::chk2_2_recordLength() {
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    w.tabRTF->setCurrentIndex(1);
    w.txt2_Jefp->setText(QStringLiteral("/d/a.bin"));
    w.txt2_Sjsp->setText(QStringLiteral("/d/a.txt"));
    w.opt2_1->setChecked(true);
    QVERIFY(w.cmdOk->isEnabled());
    w.chk2_2->setChecked(true);
    QCOMPARE(w.lAddCrLf2, 1);
    QCOMPARE(w.lRecSize2, 0);
    QVERIFY(!w.cmdOk->isEnabled());
    QVERIFY(w.txt2_RecSize->isEnabled() && w.lbl2_4->isEnabled() && w.lbl2_5->isEnabled());
    QCOMPARE(QApplication::focusWidget(), w.txt2_RecSize);
    QCOMPARE(w.lRecSizeColor, QApplication::palette().color(QPalette::Base));
    QTest::keyClicks(w.txt2_RecSize, QStringLiteral("80"));
    QCOMPARE(w.lRecSize2, 80);
    QVERIFY(w.cmdOk->isEnabled());
    w.chk2_2->setChecked(false);
    QCOMPARE(w.lRecSize2, 0);
    QCOMPARE(w.lAddCrLf2, 0);
    QVERIFY(!w.txt2_RecSize->isEnabled());
    QCOMPARE(w.txt2_RecSize->text(), QStringLiteral("80"));
    QCOMPARE(w.lRecSizeColor, QApplication::palette().color(QPalette::Button));
    QVERIFY(w.cmdOk->isEnabled());
    // Checked again: the leading digits of what the box holds.
    w.chk2_2->setChecked(true);
    QCOMPARE(w.lRecSize2, 80);
    QVERIFY(w.cmdOk->isEnabled());
}

void tst_frmVokl::tab3Separators() {
    Harness h;
    frmVokl& w = h.load();
    w.tabRTF->setCurrentIndex(2);
    w.txt3_Copyp->setText(QStringLiteral("/d/a.cbl"));
    w.txt3_Ptnp->setText(QStringLiteral("/d/a.ptn"));
    QVERIFY(w.cmdOk->isEnabled());
    w.chk3_1->setChecked(true);
    QVERIFY(w.opt3_1->isEnabled() && w.opt3_2->isEnabled());
    QVERIFY(!w.opt3_1->isChecked() && !w.opt3_2->isChecked());
    QVERIFY(!w.cmdOk->isEnabled());
    w.opt3_2->setChecked(true);
    QCOMPARE(w.lSeparator3, 2);
    QVERIFY(w.cmdOk->isEnabled());
    w.opt3_1->setChecked(true);
    QCOMPARE(w.lSeparator3, 1);
    w.chk3_1->setChecked(false);
    QVERIFY(!w.opt3_1->isEnabled());
    QVERIFY(!w.opt3_1->isChecked() && !w.opt3_2->isChecked());
    QCOMPARE(w.lSeparator3, 0);
    QVERIFY(w.cmdOk->isEnabled());
    w.chk3_1->setChecked(true);
    QVERIFY(!w.opt3_1->isChecked() && !w.opt3_2->isChecked());
    QVERIFY(!w.cmdOk->isEnabled());
    w.chk3_2->setChecked(true);
    QCOMPARE(w.lQuote3, 1);
    w.chk3_2->setChecked(false);
    QCOMPARE(w.lQuote3, 0);
}

void tst_frmVokl::hiddenOption() {
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    w.txt1_Jefp->setText(QStringLiteral("/d/a.bin"));
    QTest::keyClicks(w.txt1_Sjsp, QStringLiteral("QMR=\\7"));
    QVERIFY(w.txt1_Sjsp->text().isEmpty());
    QVERIFY(w.sPath1_Sjs.isEmpty());
    QVERIFY(w.opt1_4->isVisible());
    QCOMPARE(w.bHiddenOpt, -1);
    QCOMPARE(w.lblMsg->text(), QStringLiteral("隠しオプションを解除しました"));
    QVERIFY(w.opt1_4->geometry().top() > w.opt1_3->geometry().top());
    w.opt1_4->setChecked(true);
    QCOMPARE(w.lEbcdicMode1, 9);
    QVERIFY(!w.chk1_1->isEnabled());
    // Nothing hides it again.
    w.txt1_Sjsp->setText(QStringLiteral("/d/a.txt"));
    QVERIFY(w.opt1_4->isVisible());
    QCOMPARE(w.bHiddenOpt, -1);
    QVERIFY(w.cmdOk->isEnabled());
}

void tst_frmVokl::accessCodeWithBlankIsAPath() {
    for (const QString& text : {QStringLiteral(" QMR=\\7"), QStringLiteral("QMR=\\7 "), QStringLiteral("qmr=\\7")}) {
        Harness h;
        frmVokl& w = h.load();
        w.txt1_Sjsp->setText(text);
        QCOMPARE(w.sPath1_Sjs, text);
        QVERIFY(w.opt1_4->isHidden());
        QCOMPARE(w.bHiddenOpt, 0);
    }
}

void tst_frmVokl::ctrlTracking() {
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    QTest::keyPress(w.txt1_Sjsp, Qt::Key_Control, Qt::ControlModifier);
    QCOMPARE(w.bCtrlKey, -1);
    QTest::keyClick(w.txt1_Sjsp, Qt::Key_A);
    QCOMPARE(w.bCtrlKey, -1);
    QTest::keyRelease(w.txt1_Sjsp, Qt::Key_Control);
    QCOMPARE(w.bCtrlKey, 0);
    QTest::keyPress(w.cmdCancel, Qt::Key_Shift);
    QCOMPARE(w.bCtrlKey, 0);
}

void tst_frmVokl::enterPressesRunButton() {
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    QTest::keyClick(w.txt1_Sjsp, Qt::Key_Return);
    QCOMPARE(h.fakeLibrary.versionCalls, 0);  // disabled: nothing happens
    w.txt1_Sjsp->setText(QStringLiteral("/nonexistent/a.txt"));
    w.txt1_Jefp->setText(QStringLiteral("/nonexistent/a.bin"));
    w.opt1_3->setChecked(true);
    w.txt1_Sjsp->setFocus();
    QTest::keyClick(w.txt1_Sjsp, Qt::Key_Return);
    QCOMPARE(h.fakeLibrary.versionCalls, 1);
    QCOMPARE(w.lblMsg->text(), QStringLiteral("指定されたパス名は存在しません"));
    // The accelerators of "実行(&S)" and "終了(&X)".
    // A mnemonic presses its button after a short animation.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
    QTRY_COMPARE(h.fakeLibrary.versionCalls, 2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_X, Qt::AltModifier);
    QTRY_COMPARE(h.app.quits, 1);
}

QTEST_MAIN(tst_frmVokl)
#include "tst_frmVokl.moc"
