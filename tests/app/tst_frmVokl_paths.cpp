// The path boxes of the main window: change events, drops, selecting on focus,
// browse buttons, the record-length box and its blink, and the path checks
// with their messages, focus moves and the overwrite question.
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "fakeServices.h"

class tst_frmVokl_paths : public QObject {
    Q_OBJECT

private slots:
    void changeSetsVariables();
    void dropTakesFirstFileAndProposes_data();
    void dropTakesFirstFileAndProposes();
    void textDragIsIgnored();
    void selectAllOnTabNotOnClick();
    void browseButtons_data();
    void browseButtons();
    void cancelledBrowseLeavesBox();
    void recSizeKeyFilter();
    void recSizeText_data();
    void recSizeText();
    void patternFillsRecSize();
    void patternUnreadableEmptiesRecSize();
    void disabledPatternBoxStillShowsSize();
    void blinkTicks();
    void pathCheck_data();
    void pathCheck();
    void overwriteQuestion();
    void pathCheck2PatternAfterOverwrite();
    void sameFileIsRefused_data();
    void sameFileIsRefused();

private:
    QTemporaryDir dir_;
    QString file(const QString& name, const QByteArray& bytes = "data") {
        const QString path = dir_.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
        return path;
    }
};

namespace {
PathBox* box(frmVokl& w, const QString& name) { return w.findChild<PathBox*>(name); }
}  // namespace

void tst_frmVokl_paths::changeSetsVariables() {
    Harness h;
    frmVokl& w = h.load();
    const std::pair<PathBox*, QString*> boxes[] = {{w.txt1_Sjsp, &w.sPath1_Sjs}, {w.txt1_Jefp, &w.sPath1_Jef},
                                                   {w.txt2_Jefp, &w.sPath2_Jef}, {w.txt2_Sjsp, &w.sPath2_Sjs},
                                                   {w.txt3_Copyp, &w.sPath3_Copy}, {w.txt3_Ptnp, &w.sPath3_Ptn}};
    for (const auto& [b, variable] : boxes) {
        w.lblMsg->setText(QStringLiteral("x"));
        b->setText(QStringLiteral("/d/入力 1.txt"));
        QCOMPARE(*variable, QStringLiteral("/d/入力 1.txt"));
        QVERIFY(w.lblMsg->text().isEmpty());
    }
    // Typing proposes nothing.
    QCOMPARE(w.txt1_Jefp->text(), QStringLiteral("/d/入力 1.txt"));
    w.txt1_Jefp->clear();
    w.txt1_Sjsp->setText(QStringLiteral("/d/b.txt"));
    QVERIFY(w.txt1_Jefp->text().isEmpty());
    // The pattern box feeds its variable only while a pattern is used.
    w.txt2_Ptnp->setText(QStringLiteral("/d/a.ptn"));
    QCOMPARE(w.sPath2_Ptn, QStringLiteral("_********_"));
    w.chk2_3->setChecked(true);
    w.txt2_Ptnp->setText(QStringLiteral("/d/b.ptn"));
    QCOMPARE(w.sPath2_Ptn, QStringLiteral("/d/b.ptn"));
}

void tst_frmVokl_paths::dropTakesFirstFileAndProposes_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("usePattern");
    QTest::addColumn<QStringList>("expected");  // "box=text" pairs
    QTest::newRow("txt1_Sjsp") << "txt1_Sjsp" << false
                               << QStringList{"txt1_Sjsp=/d/a.txt", "txt1_Jefp=/d/a.bin"};
    QTest::newRow("txt1_Jefp") << "txt1_Jefp" << false << QStringList{"txt1_Jefp=/d/a.txt", "txt1_Sjsp="};
    QTest::newRow("txt2_Jefp") << "txt2_Jefp" << false
                               << QStringList{"txt2_Jefp=/d/a.txt", "txt2_Sjsp=/d/a.txt", "txt2_Ptnp=/d/a.ptn"};
    QTest::newRow("txt2_Sjsp") << "txt2_Sjsp" << false << QStringList{"txt2_Sjsp=/d/a.txt", "txt2_Jefp="};
    QTest::newRow("txt2_Ptnp") << "txt2_Ptnp" << true << QStringList{"txt2_Ptnp=/d/a.txt"};
    QTest::newRow("txt3_Copyp") << "txt3_Copyp" << false
                                << QStringList{"txt3_Copyp=/d/a.txt", "txt3_Ptnp=/d/a.ptn"};
    QTest::newRow("txt3_Ptnp") << "txt3_Ptnp" << false << QStringList{"txt3_Ptnp=/d/a.txt", "txt3_Copyp="};
}

void tst_frmVokl_paths::dropTakesFirstFileAndProposes() {
    QFETCH(QString, target);
    QFETCH(bool, usePattern);
    QFETCH(QStringList, expected);
    Harness h;
    frmVokl& w = h.load();
    w.chk2_3->setChecked(usePattern);
    // A proposed output replaces whatever its box held.
    w.txt1_Jefp->setText(QStringLiteral("/old"));
    w.txt2_Sjsp->setText(QStringLiteral("/old"));
    w.txt3_Ptnp->setText(QStringLiteral("/old"));
    if (target == "txt1_Jefp" || target == "txt2_Sjsp" || target == "txt3_Ptnp") box(w, target)->clear();
    dropFiles(box(w, target), {QStringLiteral("/d/a.txt"), QStringLiteral("/d/b.txt"), QStringLiteral("/d/c.txt")});
    for (const QString& pair : expected) {
        const QString name = pair.section('=', 0, 0);
        QCOMPARE(box(w, name)->text(), pair.section('=', 1));
    }
    QCOMPARE(w.sPath1_Sjs, w.txt1_Sjsp->text());
    QCOMPARE(w.sPath2_Jef, w.txt2_Jefp->text());
    QCOMPARE(w.sPath2_Sjs, w.txt2_Sjsp->text());
    QCOMPARE(w.sPath3_Copy, w.txt3_Copyp->text());
    QCOMPARE(w.sPath3_Ptn, w.txt3_Ptnp->text());
    QCOMPARE(w.sPath2_Ptn, usePattern ? w.txt2_Ptnp->text() : QStringLiteral("_********_"));
}

void tst_frmVokl_paths::textDragIsIgnored() {
    Harness h;
    frmVokl& w = h.load();
    w.txt1_Sjsp->setText(QStringLiteral("/d/kept.txt"));
    QMimeData text;
    text.setText(QStringLiteral("/d/other.txt"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.txt1_Sjsp, &enter);
    QVERIFY(!enter.isAccepted());
    drop(w.txt1_Sjsp, &text);
    QCOMPARE(w.txt1_Sjsp->text(), QStringLiteral("/d/kept.txt"));
    QVERIFY(w.txt1_Jefp->text().isEmpty());
    // Links to web pages are no files either.
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.invalid/a.txt"))});
    drop(w.txt1_Sjsp, &web);
    QCOMPARE(w.txt1_Sjsp->text(), QStringLiteral("/d/kept.txt"));
    // The record-length box takes no drops at all.
    QVERIFY(!w.txt2_RecSize->acceptDrops());
}

void tst_frmVokl_paths::selectAllOnTabNotOnClick() {
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    w.txt1_Jefp->setText(QStringLiteral("/d/a.bin"));
    w.txt1_Sjsp->setText(QStringLiteral("/d/a.txt"));
    w.txt1_Sjsp->setFocus();
    QTest::keyClick(w.txt1_Sjsp, Qt::Key_Tab);  // to cmd1_SjsRef
    QTest::keyClick(w.cmd1_SjsRef, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), w.txt1_Jefp);
    QCOMPARE(w.txt1_Jefp->selectedText(), QStringLiteral("/d/a.bin"));
    // Moved by the program: selected as well.
    w.txt1_Sjsp->setFocus(Qt::OtherFocusReason);
    QCOMPARE(w.txt1_Sjsp->selectedText(), QStringLiteral("/d/a.txt"));
    // A click leaves the caret where it lands.
    QTest::mouseClick(w.txt1_Jefp, Qt::LeftButton, {}, QPoint(3, w.txt1_Jefp->height() / 2));
    QCOMPARE(QApplication::focusWidget(), w.txt1_Jefp);
    QVERIFY(w.txt1_Jefp->selectedText().isEmpty());
    QCOMPARE(w.txt1_Jefp->mouseFlag, 0);
    QTest::mousePress(w.txt1_Jefp, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(w.txt1_Jefp->mouseFlag, -1);
    QTest::mouseRelease(w.txt1_Jefp, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(w.txt1_Jefp->mouseFlag, 0);
}

void tst_frmVokl_paths::browseButtons_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("fileList");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("expected");
    const QString text = QStringLiteral("ﾃｷｽﾄﾌｧｲﾙ(*.txt)|全てのﾌｧｲﾙ(*.*)");
    const QString binary = QStringLiteral("ﾊﾞｲﾅﾘﾌｧｲﾙ(*.bin)|ﾃｷｽﾄﾌｧｲﾙ(*.txt)|全てのﾌｧｲﾙ(*.*)");
    const QString pattern = QStringLiteral("ﾊﾟﾀｰﾝﾌｧｲﾙ(*.ptn)|ﾃｷｽﾄﾌｧｲﾙ(*.txt)|全てのﾌｧｲﾙ(*.*)");
    const int open = int(vok::DlgKind::Open);
    const int save = int(vok::DlgKind::Save);
    QTest::newRow("cmd1_SjsRef") << "cmd1_SjsRef" << text << open
                                 << QStringList{"txt1_Sjsp=/d/x.dat", "txt1_Jefp=/d/x.bin"};
    QTest::newRow("cmd1_JefRef") << "cmd1_JefRef" << binary << save << QStringList{"txt1_Jefp=/d/x.dat"};
    QTest::newRow("cmd2_JefRef") << "cmd2_JefRef" << binary << open
                                 << QStringList{"txt2_Jefp=/d/x.dat", "txt2_Sjsp=/d/x.txt", "txt2_Ptnp=/d/x.ptn"};
    QTest::newRow("cmd2_SjsRef") << "cmd2_SjsRef" << text << save << QStringList{"txt2_Sjsp=/d/x.dat"};
    QTest::newRow("cmd2_PtnRef") << "cmd2_PtnRef" << pattern << open << QStringList{"txt2_Ptnp=/d/x.dat"};
    QTest::newRow("cmd3_CopyRef") << "cmd3_CopyRef" << text << open
                                  << QStringList{"txt3_Copyp=/d/x.dat", "txt3_Ptnp=/d/x.ptn"};
    QTest::newRow("cmd3_PtnRef") << "cmd3_PtnRef" << pattern << save << QStringList{"txt3_Ptnp=/d/x.dat"};
}

void tst_frmVokl_paths::browseButtons() {
    QFETCH(QString, button);
    QFETCH(QString, fileList);
    QFETCH(int, kind);
    QFETCH(QStringList, expected);
    Harness h;
    frmVokl& w = h.load();
    w.chk2_3->setChecked(true);  // cmd2_PtnRef is enabled only then
    w.lblMsg->setText(QStringLiteral("x"));
    h.files.picks << QStringLiteral("/d/x.dat");
    w.findChild<QPushButton*>(button)->click();
    QCOMPARE(h.files.calls.size(), 1);
    QCOMPARE(h.files.calls[0].fileList, fileList);
    QCOMPARE(int(h.files.calls[0].kind), kind);
    QCOMPARE(h.files.calls[0].folder, QDir::currentPath());
    QVERIFY(w.lblMsg->text().isEmpty());
    for (const QString& pair : expected) QCOMPARE(box(w, pair.section('=', 0, 0))->text(), pair.section('=', 1));
    QCOMPARE(w.sPath2_Sjs, w.txt2_Sjsp->text());
    QCOMPARE(w.sPath2_Ptn, w.txt2_Ptnp->text());
    QCOMPARE(w.sPath3_Copy, w.txt3_Copyp->text());
    QCOMPARE(w.sPath3_Ptn, w.txt3_Ptnp->text());
}

void tst_frmVokl_paths::cancelledBrowseLeavesBox() {
    Harness h;
    frmVokl& w = h.load();
    w.txt1_Sjsp->setText(QStringLiteral("/d/a.txt"));
    w.txt1_Jefp->setText(QStringLiteral("/d/keep.bin"));
    h.files.picks << QString();
    w.cmd1_SjsRef->click();
    QCOMPARE(w.txt1_Sjsp->text(), QStringLiteral("/d/a.txt"));
    QCOMPARE(w.txt1_Jefp->text(), QStringLiteral("/d/keep.bin"));
}

void tst_frmVokl_paths::recSizeKeyFilter() {
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    w.tabRTF->setCurrentIndex(1);
    w.chk2_2->setChecked(true);
    QTest::keyClicks(w.txt2_RecSize, QStringLiteral("1a2-3.+"));
    QCOMPARE(w.txt2_RecSize->text(), QStringLiteral("123"));
    QTest::keyClick(w.txt2_RecSize, Qt::Key_Backspace);
    QCOMPARE(w.txt2_RecSize->text(), QStringLiteral("12"));
    QCOMPARE(w.lRecSize2, 12);
    QApplication::clipboard()->setText(QStringLiteral("99"));
    QTest::keyClick(w.txt2_RecSize, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(w.txt2_RecSize->text(), QStringLiteral("12"));
    QTest::keyClick(w.txt2_RecSize, Qt::Key_Home);
    QTest::keyClick(w.txt2_RecSize, Qt::Key_Delete);
    QCOMPARE(w.txt2_RecSize->text(), QStringLiteral("2"));
}

// What the record-length box holds, typed or pasted, with line ends asked
// for (chk2_2) or not; the status text was "x" before.
void tst_frmVokl_paths::recSizeText_data() {
    QTest::addColumn<bool>("crLf");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");  // what the box shows afterwards
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("ready");
    const QString range = QStringLiteral("1～32760の範囲で入力してください");
    QTest::newRow("80") << true << "80" << "80" << 80 << "" << true;
    QTest::newRow("upper bound") << true << "32760" << "32760" << 32760 << "" << true;
    QTest::newRow("one over") << true << "32761" << "32761" << 32761 << range << false;
    QTest::newRow("four nines") << true << "9999" << "9999" << 9999 << "" << true;
    QTest::newRow("five nines") << true << "99999" << "99999" << 99999 << range << false;
    QTest::newRow("zero") << true << "0" << "0" << 0 << "" << false;
    QTest::newRow("negative pasted") << true << "-5" << "-5" << -5 << range << false;
    QTest::newRow("letters pasted") << true << "abc" << "" << 0 << "" << false;
    // Never reaches the library: emptied, with its own message.
    QTest::newRow("ten nines") << true << "9999999999" << "" << 0 << range + QStringLiteral("(2)") << false;
    // Nothing is checked while no line ends are asked for.
    QTest::newRow("unused") << false << "99999" << "99999" << 0 << "x" << true;
}

void tst_frmVokl_paths::recSizeText() {
    QFETCH(bool, crLf);
    QFETCH(QString, text);
    Harness h;
    frmVokl& w = h.load();
    fillTab(w, 2, QStringLiteral("/d/a.bin"), QStringLiteral("/d/a.txt"));
    w.opt2_1->setChecked(true);
    w.chk2_2->setChecked(crLf);
    w.lblMsg->setText(QStringLiteral("x"));
    w.txt2_RecSize->setText(text);
    QTEST(w.txt2_RecSize->text(), "kept");
    QTEST(int(w.lRecSize2), "size");
    QTEST(w.lblMsg->text(), "message");
    QTEST(w.cmdOk->isEnabled(), "ready");
}

void tst_frmVokl_paths::patternFillsRecSize() {
    Harness h;
    frmVokl& w = h.load();
    const QString ptn = file(QStringLiteral("p/a.ptn"), "# layout\r\nA:XXX,PPPPP\r\n");
    w.chk2_3->setChecked(true);
    w.chk2_2->setChecked(true);
    w.txt2_Ptnp->setText(ptn);
    QCOMPARE(w.txt2_RecSize->text(), QStringLiteral("6"));
    QCOMPARE(w.lRecSize2, 6);
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(w.Timer1->interval(), 500);
}

void tst_frmVokl_paths::patternUnreadableEmptiesRecSize() {
    Harness h;
    frmVokl& w = h.load();
    w.chk2_3->setChecked(true);
    w.chk2_2->setChecked(true);
    // Only comments, no file, a folder (which is not read).
    for (const QString& ptn : {file(QStringLiteral("c.ptn"), "#only\r\n#comments\r\n"),
                               dir_.filePath(QStringLiteral("missing.ptn")), dir_.path()}) {
        w.txt2_RecSize->setText(QStringLiteral("80"));
        w.txt2_Ptnp->setText(ptn);
        QVERIFY(w.txt2_RecSize->text().isEmpty());
        QCOMPARE(w.lRecSize2, 0);
        QVERIFY(!w.Timer1->isActive());
        QVERIFY(w.lblMsg->text().isEmpty());
    }
}

void tst_frmVokl_paths::disabledPatternBoxStillShowsSize() {
    Harness h;
    frmVokl& w = h.load();
    const QString jef = file(QStringLiteral("d/b.bin"));
    file(QStringLiteral("d/b.ptn"), "XXXXNN\n");
    dropFiles(w.txt2_Jefp, {jef});
    QCOMPARE(w.txt2_Ptnp->text(), dir_.filePath(QStringLiteral("d/b.ptn")));
    QVERIFY(!w.txt2_Ptnp->isEnabled());
    QCOMPARE(w.txt2_RecSize->text(), QStringLiteral("6"));
    QVERIFY(!w.txt2_RecSize->isEnabled());
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(w.sPath2_Ptn, QStringLiteral("_********_"));
    QCOMPARE(w.lRecSize2, 0);
}

void tst_frmVokl_paths::blinkTicks() {
    Harness h;
    frmVokl& w = h.load();
    w.txt2_Ptnp->setText(file(QStringLiteral("b.ptn"), "XX\n"));
    QVERIFY(w.Timer1->isActive());
    const QColor saved = w.txt2_RecSize->palette().color(QPalette::Base);
    const QColor green(0, 255, 0);
    const QColor expected[] = {green, saved, green, saved};
    for (const QColor& colour : expected) {
        w.Timer1_Timer();
        QCOMPARE(w.txt2_RecSize->palette().color(QPalette::Base), colour);
        QVERIFY(w.Timer1->isActive());
    }
    QCOMPARE(w.iBlinkCount, 4);
    w.Timer1_Timer();
    QVERIFY(!w.Timer1->isActive());
    QCOMPARE(w.iBlinkCount, 0);
    QCOMPARE(w.Timer1Tag, QStringLiteral("OFF"));
    QCOMPARE(w.txt2_RecSize->palette().color(QPalette::Base), saved);
    // The real timer runs the same ticks.
    w.txt2_Ptnp->setText(file(QStringLiteral("b2.ptn"), "XXX\n"));
    QTRY_VERIFY_WITH_TIMEOUT(!w.Timer1->isActive(), 5000);
    QCOMPARE(w.txt2_RecSize->palette().color(QPalette::Base), saved);
}

void tst_frmVokl_paths::pathCheck_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    const QString same = QStringLiteral("入力側と出力側のパス名が同じです");
    const QString missing = QStringLiteral("指定されたパス名は存在しません");
    const QString folder = QStringLiteral("フォルダーを指定することは出来ません");
    const QString empty = QStringLiteral("ファイルにデータがありません");
    const QString noFolder = QStringLiteral("指定されたパス名のフォルダが存在しません");
    struct Names {
        const char* in;
        const char* out;
    };
    const Names names[] = {{"txt1_Sjsp", "txt1_Jefp"}, {"txt2_Jefp", "txt2_Sjsp"}, {"txt3_Copyp", "txt3_Ptnp"}};
    for (int tab = 1; tab <= 3; ++tab) {
        const QString in = names[tab - 1].in;
        const QString out = names[tab - 1].out;
        auto row = [&](const char* what) -> QTestData& { return QTest::addRow("tab%d %s", tab, what) << tab; };
        row("same") << "in.txt" << "in.txt" << same << out;
        row("missing input") << "nothing.txt" << "out.bin" << missing << in;
        row("input ends in separator") << "sub/" << "out.bin" << folder << in;
        row("input is a folder") << "sub" << "out.bin" << folder << in;
        row("empty input") << "empty.txt" << "out.bin" << empty << in;
        row("output is a folder") << "in.txt" << "sub" << folder << out;
        row("output folder missing") << "in.txt" << "nosuch/out.bin" << noFolder << out;
        row("fine") << "in.txt" << "sub/out.bin" << "" << "";
        row("case differs") << "in.txt" << "IN.txt" << "" << "";
    }
}

void tst_frmVokl_paths::pathCheck() {
    QFETCH(int, tab);
    QFETCH(QString, in);
    QFETCH(QString, out);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    file(QStringLiteral("in.txt"));
    file(QStringLiteral("empty.txt"), QByteArray());
    QDir(dir_.path()).mkpath(QStringLiteral("sub"));
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    fillTab(w, tab, dir_.path() + '/' + in, dir_.path() + '/' + out);
    const int result = tab == 1 ? w.PathCheck1() : tab == 2 ? w.PathCheck2() : w.PathCheck3();
    QCOMPARE(result, message.isEmpty() ? 0 : 1);
    QCOMPARE(w.lblMsg->text(), message);
    if (!focus.isEmpty()) QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    QVERIFY(h.messages.calls.isEmpty());
}

void tst_frmVokl_paths::overwriteQuestion() {
    const QString in = file(QStringLiteral("ow/in.txt"));
    const QString out = file(QStringLiteral("ow/out.bin"));
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        Harness h;
        frmVokl& w = h.load();
        QVERIFY(h.showActive());
        w.txt1_Sjsp->setText(in);
        w.txt1_Jefp->setText(out);
        w.txt1_Sjsp->setFocus();
        h.messages.answers << answer;
        const std::int16_t result = w.PathCheck1();
        QCOMPARE(h.messages.calls.size(), 1);
        checkBox(h.messages.calls[0], QStringLiteral("上書きの確認"), out + QStringLiteral(" に上書きしますか?"),
                 QMessageBox::Question, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(w.lblMsg->text().isEmpty());
        QCOMPARE(int(result), answer == QMessageBox::Yes ? 0 : 1);
        if (answer == QMessageBox::No) QCOMPARE(QApplication::focusWidget(), w.txt1_Jefp);
    }
}

void tst_frmVokl_paths::pathCheck2PatternAfterOverwrite() {
    const QString jef = file(QStringLiteral("p2/in.bin"));
    const QString sjs = file(QStringLiteral("p2/out.txt"));
    const QString emptyPtn = file(QStringLiteral("p2/empty.ptn"), QByteArray());
    struct Case {
        QString pattern;
        QString message;
    };
    const Case cases[] = {
        {dir_.filePath(QStringLiteral("p2/none.ptn")), QStringLiteral("指定されたパス名は存在しません")},
        {dir_.filePath(QStringLiteral("p2")), QStringLiteral("フォルダーを指定することは出来ません")},
        {emptyPtn, QStringLiteral("ファイルにデータがありません")},
        {file(QStringLiteral("p2/ok.ptn"), "XX\n"), QString()},
    };
    for (const Case& c : cases) {
        Harness h;
        frmVokl& w = h.load();
        QVERIFY(h.showActive());
        w.txt2_Jefp->setText(jef);
        w.txt2_Sjsp->setText(sjs);
        w.chk2_3->setChecked(true);
        w.txt2_Ptnp->setText(c.pattern);
        QCOMPARE(int(w.PathCheck2()), c.message.isEmpty() ? 0 : 1);
        // The overwrite question comes first.
        QCOMPARE(h.messages.calls.size(), 1);
        QCOMPARE(w.lblMsg->text(), c.message);
        if (!c.message.isEmpty()) QCOMPARE(QApplication::focusWidget(), w.txt2_Ptnp);
    }
    // Without a pattern the pattern path is not looked at.
    Harness h;
    frmVokl& w = h.load();
    w.txt2_Jefp->setText(jef);
    w.txt2_Sjsp->setText(dir_.filePath(QStringLiteral("p2/new.txt")));
    w.txt2_Ptnp->setText(dir_.filePath(QStringLiteral("p2/none.ptn")));
    QCOMPARE(int(w.PathCheck2()), 0);
}

// Regressions: an output spelled differently from its input ("dir/./a", a
// link) was truncated by the library before it was read, and so was the
// pattern file of tab 2 named as the output.
void tst_frmVokl_paths::sameFileIsRefused_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("output");  // in same/
    QTest::newRow("dot segment") << 1 << "./in.txt";
    QTest::newRow("link") << 1 << "link.txt";
    QTest::newRow("output over the pattern") << 2 << "a.ptn";
}

void tst_frmVokl_paths::sameFileIsRefused() {
    QFETCH(int, tab);
    QFETCH(QString, output);
    const QString in = file(QStringLiteral("same/in.txt"));
    const QString ptn = file(QStringLiteral("same/a.ptn"), "XX\n");
    QFile::link(in, dir_.filePath(QStringLiteral("same/link.txt")));
    Harness h;
    frmVokl& w = h.load();
    w.chk2_3->setChecked(true);
    w.txt2_Ptnp->setText(ptn);
    fillTab(w, tab, in, dir_.filePath(QStringLiteral("same/") + output));
    QCOMPARE(int(tab == 1 ? w.PathCheck1() : w.PathCheck2()), 1);
    QCOMPARE(w.lblMsg->text(), QStringLiteral("入力側と出力側のパス名が同じです"));
    QVERIFY(h.messages.calls.isEmpty());  // no overwrite question for it
}

QTEST_MAIN(tst_frmVokl_paths)
#include "tst_frmVokl_paths.moc"
