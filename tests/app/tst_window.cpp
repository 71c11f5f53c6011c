// The main window on stand-ins: what its controls enable, show and check,
// how the path boxes fill, and the look guard.
#include <sys/stat.h>

#include "fakeServices.h"

class tst_window : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;  // the current folder; the tests name files relative to it

private slots:
    void initTestCase() {
        QVERIFY(QDir::setCurrent(dir_.path()));
        QVERIFY(writeFile("in.txt", "data") && writeFile("old.bin", "data") && writeFile("empty.txt", ""));
        QVERIFY(writeFile("a.ptn", "XX\n") && writeFile("six.ptn", "# layout\r\nA:XXX,PPPPP\r\n"));
        QVERIFY(writeFile("notes.ptn", "#only\r\n") && QDir().mkdir("sub") && QFile::link("in.txt", "link.txt"));
        QVERIFY(mkfifo("pipe", 0600) == 0);  // a pipe would block the library's read
    }

    void singleInstance() {
        Harness second;
        second.otherInstance = true;
        QVERIFY(!second.window->Form_Load(QString()));
        QCOMPARE(second.boxes.size(), 1);
        QCOMPARE(second.boxes[0].text, QStringLiteral("既に起動されています"));
        // The real guard; a second one stands for another process.
        vok::LockFileGuard first(dir_.filePath("vok.lock")), other(dir_.filePath("vok.lock"));
        QVERIFY(first.tryAcquire() && !other.tryAcquire());
    }

    // The status line held "x" before the last step.
    void controls_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("expected");
        const QString tab1 = "txt1_Jefp=/d/a.bin txt1_Sjsp=/d/a.txt ";
        const QString tab2 = "tab2 txt2_Sjsp=/d/a.txt opt2_1 txt2_Jefp=/d/a.bin ";
        const QString tab3 = "tab3 txt3_Ptnp=/d/a.ptn txt3_Copyp=/d/a.cbl ";
        const QString pattern = "lbl2_3 txt2_Ptnp cmd2_PtnRef chk2_4 chk2_5 chk2_6 chk2_7";
        const QString noPattern = "!lbl2_3 !txt2_Ptnp !cmd2_PtnRef !chk2_4 !chk2_5 !chk2_6 !chk2_7 !chk2_8";
        const QString range = " lblMsg=1～32760の範囲で入力してください";
        QTest::newRow("start") << "tab1" << noPattern + " !lbl2_4 !txt2_RecSize !lbl2_5 !chk1_1 !opt3_1 !cmdOk @txt1_Sjsp";
        QTest::newRow("kana") << "opt1_1" << "chk1_1 @chk1_1 lblMsg=";
        QTest::newRow("lower case") << "opt1_1 opt1_2" << "!chk1_1";
        QTest::newRow("1: input last") << "opt1_3 " + tab1 << "cmdOk";
        QTest::newRow("2: input last") << tab2 << "cmdOk lblMsg=";
        QTest::newRow("2: pattern") << tab2 + "chk2_3" << pattern + " !chk2_8 @txt2_Ptnp !cmdOk lblMsg=";
        QTest::newRow("2: pattern given") << tab2 + "chk2_3 chk2_4 txt2_Ptnp=/d/a.ptn" << "cmdOk lblMsg=";
        QTest::newRow("2: trimming") << tab2 + "chk2_3 txt2_Ptnp=/d/a.ptn chk2_7" << "chk2_8 cmdOk lblMsg=x";
        QTest::newRow("2: one trimming left") << "chk2_3 chk2_5 chk2_6 chk2_5" << "chk2_8";
        QTest::newRow("2: none left") << "chk2_3 chk2_5 chk2_6 chk2_5 chk2_6" << "!chk2_8";
        QTest::newRow("2: pattern off") << tab2 + "chk2_3 chk2_7 chk2_3" << noPattern + " cmdOk";
        QTest::newRow("2: line ends") << tab2 + "chk2_2" << "lbl2_4 txt2_RecSize lbl2_5 @txt2_RecSize !cmdOk";
        QTest::newRow("2: line ends off") << tab2 + "chk2_2 chk2_2" << "!lbl2_4 !txt2_RecSize !lbl2_5 cmdOk";
        QTest::newRow("length one over") << tab2 + "chk2_2 txt2_RecSize=32761" << "!cmdOk txt2_RecSize=32761" + range;
        QTest::newRow("length negative, pasted") << tab2 + "chk2_2 txt2_RecSize=-5" << "!cmdOk" + range;
        QTest::newRow("length not a number") << tab2 + "chk2_2 txt2_RecSize=abc" << "!cmdOk txt2_RecSize= lblMsg=";
        QTest::newRow("length too long") << tab2 + "chk2_2 txt2_RecSize=9999999999" << "txt2_RecSize=" + range + "(2)";
        QTest::newRow("length unused") << tab2 + "txt2_RecSize=99999" << "cmdOk txt2_RecSize=99999 lblMsg=x";
        QTest::newRow("length from a pattern") << tab2 + "chk2_3 chk2_2 txt2_Ptnp=six.ptn" << "cmdOk txt2_RecSize=6";
        QTest::newRow("length shown, unused") << tab2 + "txt2_Ptnp=six.ptn" << "cmdOk txt2_RecSize=6 lblMsg=";
        QTest::newRow("no length in the pattern") << "chk2_3 chk2_2 txt2_RecSize=8 txt2_Ptnp=notes.ptn" << "txt2_RecSize=";
        QTest::newRow("pattern a folder") << "chk2_3 chk2_2 txt2_RecSize=8 txt2_Ptnp=sub" << "txt2_RecSize=";
        QTest::newRow("3: input last") << tab3 << "cmdOk lblMsg=";
        QTest::newRow("3: separator") << tab3 + "chk3_1" << "opt3_1 opt3_2 !cmdOk";
        QTest::newRow("3: separator chosen") << tab3 + "chk3_1 opt3_2" << "cmdOk lblMsg=";
        QTest::newRow("3: choice cleared") << tab3 + "chk3_1 opt3_2 chk3_1 chk3_1" << "!cmdOk";
        QTest::newRow("hidden option") << "txt1_Sjsp=QMR=\\7" << "txt1_Sjsp= lblMsg=隠しオプションを解除しました";
        QTest::newRow("tab 2's own rule") << tab3 + "chk3_1 opt3_1 tab2" << "!cmdOk @txt2_Jefp lblMsg=";
        QTest::newRow("tab 3's own rule") << tab3 + "chk3_1 opt3_1 tab2 tab3" << "cmdOk @txt3_Copyp lblMsg=";
        // The checks of a run in their order; the focus goes to the box at fault.
        const QString same = " !ran lblMsg=入力側と出力側のパス名が同じです";
        const QString missing = " !ran lblMsg=指定されたパス名は存在しません";
        const QString folder = " !ran lblMsg=フォルダーを指定することは出来ません";
        const QString empty = " !ran lblMsg=ファイルにデータがありません";
        const QString run = "opt1_3 opt2_1 tab%1 %2=%3 %4=%5 cmdOk";
        const QStringList boxes[] = {{"txt1_Sjsp", "txt1_Jefp"}, {"txt2_Jefp", "txt2_Sjsp"}, {"txt3_Copyp", "txt3_Ptnp"}};
        for (int tab = 1; tab <= 3; ++tab) {
            const QString in = boxes[tab - 1][0], out = boxes[tab - 1][1];
            QTest::addRow("%d: same", tab) << run.arg(tab).arg(in, "in.txt", out, "in.txt") << "@" + out + same;
            QTest::addRow("%d: missing input", tab) << run.arg(tab).arg(in, "none", out, "o.bin") << "@" + in + missing;
            QTest::addRow("%d: fine", tab) << run.arg(tab).arg(in, "in.txt", out, "sub/o.bin") << "ran";
        }
        const QString run1 = "opt1_3 txt1_Sjsp=%1 txt1_Jefp=%2 cmdOk";
        QTest::newRow("input is a folder") << run1.arg("sub", "o.bin") << "@txt1_Sjsp" + folder;
        QTest::newRow("input ends in a separator") << run1.arg("none/", "o.bin") << "@txt1_Sjsp" + folder;
        const QString notFile = " !ran lblMsg=通常のファイル以外(パイプやデバイス)を指定することは出来ません";
        QTest::newRow("input is a pipe") << run1.arg("pipe", "o.bin") << "@txt1_Sjsp" + notFile;
        QTest::newRow("output is a device") << run1.arg("in.txt", "/dev/null") << "@txt1_Jefp" + notFile;
        QTest::newRow("empty input") << run1.arg("empty.txt", "o.bin") << "@txt1_Sjsp" + empty;
        QTest::newRow("same file through a link") << run1.arg("in.txt", "link.txt") << "@txt1_Jefp" + same;
        QTest::newRow("output in the current folder") << run1.arg("in.txt", "o.bin") << "ran";
        QTest::newRow("output is a folder") << run1.arg("in.txt", "sub") << "@txt1_Jefp" + folder;
        QTest::newRow("no such folder") << run1.arg("in.txt", "none/o.bin")
                                        << "@txt1_Jefp !ran lblMsg=指定されたパス名のフォルダが存在しません";
        QTest::newRow("overwrite") << run1.arg("in.txt", "old.bin") << "ran";
        QTest::newRow("do not overwrite") << "No " + run1.arg("in.txt", "old.bin") << "@txt1_Jefp !ran lblMsg=x";
        const QString run2 = "opt2_1 tab2 chk2_3 txt2_Ptnp=%1 txt2_Jefp=in.txt txt2_Sjsp=%2 cmdOk";
        QTest::newRow("output over the pattern") << run2.arg("a.ptn", "a.ptn") << "@txt2_Sjsp" + same;
        QTest::newRow("pattern after the question") << run2.arg("none.ptn", "old.bin") << "@txt2_Ptnp" + missing;
        QTest::newRow("pattern empty") << run2.arg("empty.txt", "o.txt") << "@txt2_Ptnp" + empty;
        QTest::newRow("pattern fine") << run2.arg("a.ptn", "o.txt") << "ran";
    }
    void controls() {
        QFETCH(QString, steps);
        QFETCH(QString, expected);
        Harness h;
        h.load();
        QVERIFY(h.showActive());
        const QStringList all = steps.split(' ', Qt::SkipEmptyParts);
        h.act(all.mid(0, all.size() - 1).join(' '));
        h.window->lblMsg->setText("x");
        h.act(all.last());
        h.expect(expected);
        // Only an existing output is asked about, before anything else is read.
        QCOMPARE(h.boxes.size(), int(steps.contains("=old.bin")));
        if (h.boxes.isEmpty()) return;
        QCOMPARE(h.boxes[0].title + ": " + h.boxes[0].text, QStringLiteral("上書きの確認: old.bin に上書きしますか?"));
        QVERIFY(h.boxes[0].icon == QMessageBox::Question && h.boxes[0].buttons == (QMessageBox::Yes | QMessageBox::No));
    }

    // The row's name says what is done (drop /d/a.txt and /d/b.txt, type /d/a.txt,
    // browse to /d/x.dat, or cancel); the outputs held "/old".
    void filling_data() {
        QTest::addColumn<QString>("dialog");  // the file list and kind a browse button asks for
        QTest::addColumn<QString>("expected");
        QTest::newRow("drop txt1_Sjsp") << "" << "txt1_Sjsp=/d/a.txt txt1_Jefp=/d/a.bin lblMsg=";
        QTest::newRow("drop txt2_Jefp") << "" << "txt2_Jefp=/d/a.txt txt2_Sjsp=/d/a.txt txt2_Ptnp=/d/a.ptn";
        QTest::newRow("drop txt3_Copyp") << "" << "txt3_Copyp=/d/a.txt txt3_Ptnp=/d/a.ptn";
        QTest::newRow("drop txt1_Jefp") << "" << "txt1_Jefp=/d/a.txt txt3_Ptnp=/old";
        QTest::newRow("drop txt2_Ptnp") << "" << "txt2_Ptnp=/d/a.txt cmdOk";  // by tab 2's rule
        QTest::newRow("drop txt2_RecSize") << "" << "txt2_RecSize= lblMsg=x";  // takes no drops
        QTest::newRow("type txt1_Sjsp") << "" << "txt1_Jefp=/old lblMsg=";
        const QString text = vok::kTextFileList, binary = vok::kBinaryFileList, pattern = vok::kPatternFileList;
        QTest::newRow("browse cmd1_SjsRef") << text + "|open" << "txt1_Sjsp=/d/x.dat txt1_Jefp=/d/x.bin lblMsg=";
        QTest::newRow("browse cmd1_JefRef") << binary + "|save" << "txt1_Jefp=/d/x.dat";
        QTest::newRow("browse cmd2_JefRef") << binary + "|open" << "txt2_Jefp=/d/x.dat txt2_Sjsp=/d/x.txt txt2_Ptnp=/d/x.ptn";
        QTest::newRow("browse cmd2_SjsRef") << text + "|save" << "txt2_Sjsp=/d/x.dat";
        QTest::newRow("browse cmd2_PtnRef") << pattern + "|open" << "txt2_Ptnp=/d/x.dat";
        QTest::newRow("browse cmd3_CopyRef") << text + "|open" << "txt3_Copyp=/d/x.dat txt3_Ptnp=/d/x.ptn";
        QTest::newRow("browse cmd3_PtnRef") << pattern + "|save" << "txt3_Ptnp=/d/x.dat txt3_Copyp=";
        QTest::newRow("cancel cmd1_SjsRef") << text + "|open" << "txt1_Sjsp= txt1_Jefp=/old lblMsg=";
    }
    void filling() {
        QFETCH(QString, dialog);
        QFETCH(QString, expected);
        const QString how = QString(QTest::currentDataTag()).section(' ', 0, 0);
        const QString target = QString(QTest::currentDataTag()).section(' ', 1);
        Harness h;
        frmVokl& w = h.load();
        h.act("chk2_3 opt2_1 txt1_Jefp=/old txt2_Jefp=/old txt2_Sjsp=/old txt2_Ptnp=/old txt3_Ptnp=/old");
        w.lblMsg->setText("x");
        h.picks << (how == "browse" ? "/d/x.dat" : "");
        if (how == "drop") drop(w.findChild<QWidget*>(target), {"/d/a.txt", "/d/b.txt"});
        h.act(how == "type" ? target + "=/d/a.txt" : how == "browse" || how == "cancel" ? target : "");
        h.expect(expected);
        // What a run gives the library is what the boxes show.
        const std::pair<PathBox*, QString*> variables[] = {
            {w.txt1_Sjsp, &w.sPath1_Sjs}, {w.txt1_Jefp, &w.sPath1_Jef}, {w.txt2_Jefp, &w.sPath2_Jef},
            {w.txt2_Sjsp, &w.sPath2_Sjs}, {w.txt2_Ptnp, &w.sPath2_Ptn}, {w.txt3_Copyp, &w.sPath3_Copy},
            {w.txt3_Ptnp, &w.sPath3_Ptn}};
        for (const auto& [box, variable] : variables) QCOMPARE(*variable, box->text());
        QCOMPARE(h.fileDialogs, dialog.isEmpty() ? QStringList() : QStringList{dialog + '|' + QDir::currentPath()});
    }

    // Keyboard and program select a path box's text on entering it, a click does not.
    void selectAllOnTabNotOnClick() {
        Harness h;
        frmVokl& w = h.load();
        QVERIFY(h.showActive());
        h.act("txt1_Jefp=/d/a.bin txt1_Sjsp=/d/a.txt");
        w.cmd1_SjsRef->setFocus();
        QTest::keyClick(w.cmd1_SjsRef, Qt::Key_Tab);
        QCOMPARE(w.txt1_Jefp->selectedText(), QStringLiteral("/d/a.bin"));
        w.txt1_Sjsp->setFocus(Qt::OtherFocusReason);
        QCOMPARE(w.txt1_Sjsp->selectedText(), QStringLiteral("/d/a.txt"));
        QTest::mouseClick(w.txt1_Jefp, Qt::LeftButton, {}, QPoint(3, w.txt1_Jefp->height() / 2));
        QVERIFY(w.txt1_Jefp->hasFocus() && w.txt1_Jefp->selectedText().isEmpty());
    }

    // The Tab key goes through the page in front, the tab strip and the buttons, by the order
    // column; an option group is one stop, a disabled control none.
    void tabOrder_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("stops");
        const QString right = " tabRTF cmdOk cmdCancel cmdHelp cmdVersion";
        QTest::newRow("1") << "opt1_1 txt1_Sjsp=a txt1_Jefp=b"
                           << "txt1_Sjsp cmd1_SjsRef txt1_Jefp cmd1_JefRef opt1_1 chk1_1 chk1_2" + right;
        QTest::newRow("2") << "tab2 opt2_1 chk2_3 chk2_5 chk2_2 txt2_Jefp=a txt2_Sjsp=b txt2_Ptnp=c txt2_RecSize=8"
                           << "txt2_Jefp cmd2_JefRef txt2_Sjsp cmd2_SjsRef chk2_3 txt2_Ptnp cmd2_PtnRef chk2_4 opt2_1 "
                              "chk2_5 chk2_6 chk2_7 chk2_8 chk2_2 txt2_RecSize" + right;
        QTest::newRow("3") << "tab3 chk3_1 txt3_Copyp=a txt3_Ptnp=b"
                           << "txt3_Copyp cmd3_CopyRef txt3_Ptnp cmd3_PtnRef chk3_1 opt3_1 chk3_2 tabRTF cmdCancel cmdHelp cmdVersion";
    }
    void tabOrder() {
        QFETCH(QString, steps);
        QFETCH(QString, stops);
        Harness h;
        frmVokl& w = h.load();
        QVERIFY(h.showActive());
        h.act(steps);
        const QStringList expected = stops.split(' ');
        w.findChild<QWidget*>(expected.first())->setFocus(Qt::TabFocusReason);
        QStringList visited;
        for (int i = 0; i <= expected.size(); ++i) {
            QWidget* focus = QApplication::focusWidget();
            visited << (focus == w.tabRTF->tabBar() ? "tabRTF" : focus->objectName());
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        QCOMPARE(visited, expected + expected.mid(0, 1));
    }

    // The command line fills the boxes; the program's moves into a path box select its text,
    // also before the window is active.
    void programMovesTheFocus_data() {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no known extension") << "/d/a.Txt" << "" << "txt1_Sjsp= txt2_Jefp= !cmdOk";
        QTest::newRow("text file") << "/d/a.TXT" << "" << "txt1_Sjsp=/d/a.TXT txt1_Jefp=/d/a.bin !cmdOk @txt1_Sjsp";
        QTest::newRow("host file") << "/データ/b.bin" << ""
                                   << "txt2_Jefp=/データ/b.bin txt2_Sjsp=/データ/b.txt txt2_Ptnp=/データ/b.ptn @txt2_Jefp !cmdOk";
        QTest::newRow("overwrite declined") << "" << "opt1_3 txt1_Sjsp=in.txt txt1_Jefp=old.bin No cmdOk" << "@txt1_Jefp";
        QTest::newRow("missing input") << "" << "opt1_3 txt1_Sjsp=none txt1_Jefp=o.bin cmd1_JefRef cmdOk" << "@txt1_Sjsp";
    }
    void programMovesTheFocus() {
        QFETCH(QString, commandLine);
        QFETCH(QString, steps);
        Harness h;
        h.load(commandLine);
        h.act(steps);
        QFETCH(QString, expected);
        const bool tab2 = commandLine.endsWith(".bin");  // shows the window itself
        QVERIFY(tab2 ? QTest::qWaitForWindowActive(h.window.get()) : h.showActive());
        h.expect(expected);
        auto* box = qobject_cast<PathBox*>(QApplication::focusWidget());
        if (box) QCOMPARE(box->selectedText(), box->text());
    }

    // Blanks, tabs and line ends around a typed, pasted or dropped path are not part of it.
    void pathsTrimmed() {
        Harness h;
        frmVokl& w = h.load();
        QVERIFY(h.showActive());
        h.act("opt1_3");
        QApplication::clipboard()->setText(" \tin.txt\r\n");
        w.txt1_Sjsp->setFocus();
        QTest::keyClick(w.txt1_Sjsp, Qt::Key_V, Qt::ControlModifier);
        w.txt1_Jefp->setText("o.bin ");
        drop(w.txt3_Copyp, {dir_.filePath("in.txt ")});
        QCOMPARE(w.sPath1_Sjs + '|' + w.sPath1_Jef + '|' + w.sPath3_Copy, "in.txt|o.bin|" + dir_.filePath("in.txt"));
        h.act("cmdOk");
        h.expect("ran lblMsg=コード変換が終了しました(レコード=1件)");
    }

    // The record length takes digits and editing keys only, and blinks when a pattern fills it.
    void recSizeKeysAndBlink() {
        Harness h;
        frmVokl& w = h.load();
        QVERIFY(h.showActive());
        h.act("tab2 chk2_2");
        QTest::keyClicks(w.txt2_RecSize, "1a2-3.+09");
        QApplication::clipboard()->setText("99");
        QTest::keyClick(w.txt2_RecSize, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(w.txt2_RecSize, Qt::Key_Home);
        QTest::keyClick(w.txt2_RecSize, Qt::Key_Delete);
        QCOMPARE(w.txt2_RecSize->text(), QStringLiteral("2309"));
        h.act("txt2_Ptnp=a.ptn");
        const QColor saved = w.txt2_RecSize->palette().color(QPalette::Base);
        for (const QColor& colour : {QColor(0, 255, 0), saved, QColor(0, 255, 0), saved}) {
            w.Timer1_Timer();
            QCOMPARE(w.txt2_RecSize->palette().color(QPalette::Base), colour);
        }
        w.Timer1_Timer();
        QVERIFY(!w.Timer1->isActive());
    }

    // Every tab with all its controls shown; VOK_SCREENSHOT_DIR keeps pictures for a person.
    void look() {
        Harness h;
        frmVokl& w = h.load();
        QVERIFY(h.showActive());
        QVERIFY(w.opt1_4->isHidden());
        h.act("txt1_Sjsp=QMR=\\7 chk2_3 chk2_5 chk2_2 chk3_1");
        QVERIFY(w.opt1_4->isVisible());
        const QString shots = qEnvironmentVariable("VOK_SCREENSHOT_DIR");
        for (int tab = 1; tab <= 3; ++tab) {
            h.act(QStringLiteral("tab%1").arg(tab));
            checkLook(&w);
            if (!shots.isEmpty()) QVERIFY(w.grab().save(QStringLiteral("%1/tab%2.png").arg(shots).arg(tab)));
        }
        QVERIFY(w.tabRTF->tabBar()->tabRect(2).right() < w.tabRTF->width());  // no scroll buttons
        w.lblMsg->setText("x");  // a click on the tab shown only empties the status line
        QTest::mouseClick(w.tabRTF->tabBar(), Qt::LeftButton, {}, w.tabRTF->tabBar()->tabRect(2).center());
        h.expect("lblMsg= @txt3_Copyp");
    }
};

QTEST_MAIN(tst_window)
#include "tst_window.moc"
