// The run behind the run button and the other buttons, on the in-process
// stand-in, on fakelib/'s libraries and end to end on libvokl.
#include "fakeServices.h"
#include "modVokCom.h"
#include "testutil.h"
#include "voklLibrary.h"

// version 0: no voklVersion export, which counts as "0.90". shown: the
// library's version in the question, "" for none; tail: a part of its end;
// standIn: a library of fakelib/ in place of the in-process stand-in.
struct VersionCase { float version; int tab, answer; bool hidden, runs; QMessageBox::Icon icon;
                     QString shown, tail, standIn = {}; };
Q_DECLARE_METATYPE(VersionCase)

class tst_run : public QObject {
    Q_OBJECT
    QTemporaryDir files_;
    QTemporaryDir temp_;  // the temporary folder of the runs
    QString in(int tab) const { return files_.filePath(QStringList{"in.txt", "in.bin", "in.cbl", "in.ptn"}[tab - 1]); }
    QString out(int tab) const { return files_.filePath(QStringList{"out.bin", "out.txt", "out.ptn"}[tab - 1]); }
    QStringList tempLogs() const { return QDir(temp_.path()).entryList({"vok*"}, QDir::Files); }
    QString jp(const QString& name) const { return files_.filePath("データ 受信/" + name); }
    static QString stand(const QString& name) { return QStringLiteral(VOK_FAKELIB_DIR "/libvokl_%1.so").arg(name); }
    static QByteArray sjis(const char* utf8) { return QByteArray::fromStdString(testutil::sjis(utf8)); }
    frmVokl& run(Harness& h, int tab, const QString& steps = "opt1_3 opt2_1") {
        frmVokl& w = h.load();
        h.act(QString(steps).replace("{ptn}", in(4)));
        fillTab(w, tab, in(tab), out(tab));
        w.cmdOk->click();
        return w;
    }

private slots:
    void init() {
        qputenv("TMPDIR", QFile::encodeName(temp_.path()));
        for (int file = 1; file <= 4; ++file) QVERIFY(writeFile(in(file), "XX\n"));
        QVERIFY(QDir().mkpath(jp("")));
    }
    void cleanup() {
        for (const QString& f : tempLogs()) QFile::remove(temp_.filePath(f));
        QFile::remove(jp("calls"));
        qunsetenv("VOK_FAKE_CALLS");
    }

    void versionCheck_data() {
        QTest::addColumn<VersionCase>("c");
        const int yes = QMessageBox::Yes, no = QMessageBox::No;
        const auto critical = QMessageBox::Critical, warning = QMessageBox::Warning, question = QMessageBox::Question;
        QTest::newRow("same") << VersionCase{110.0f, 1, no, true, true, {}, "", ""};
        QTest::newRow("older, tab 3") << VersionCase{105.0f, 3, yes, true, false, critical, "1.05", "1.10以上"};
        QTest::newRow("older, hidden") << VersionCase{105.0f, 1, yes, true, false, critical, "1.05", "同じバージョン"};
        QTest::newRow("older, go on") << VersionCase{105.0f, 2, yes, false, true, warning, "1.05", "続けますか"};
        QTest::newRow("older, stop") << VersionCase{109.0f, 1, no, false, false, warning, "1.09", "続けますか"};
        QTest::newRow("none, go on") << VersionCase{0.0f, 3, yes, false, true, question, "0.90", "続けますか"};
        QTest::newRow("stand-in older") << VersionCase{0, 1, no, false, false, warning, "1.05", "続けますか", "v105"};
        QTest::newRow("stand-in without voklVersion") << VersionCase{0, 2, no, false, false, question, "0.90", "", "noversion"};
        QTest::newRow("stand-in without mkpatn") << VersionCase{0, 3, no, false, false, question, "0.90", "", "nomkpatn"};
    }
    void versionCheck() {
        QFETCH(VersionCase, c);
        qputenv("VOK_FAKE_CALLS", QFile::encodeName(jp("calls")));
        VoklLibrary library(stand(c.standIn));
        Harness h(c.standIn.isEmpty() ? nullptr : &library);
        h.version = c.version;
        h.answers << QMessageBox::StandardButton(c.answer);
        frmVokl& w = run(h, c.tab, c.hidden ? "txt1_Sjsp=QMR=\\7 opt1_3 opt2_1" : "opt1_3 opt2_1");
        QCOMPARE(h.calls.size() + int(readAll(jp("calls")).contains('|')), c.runs ? 1 : 0);  // a conversion's arguments
        QVERIFY(!w.isBusy());
        QCOMPARE(h.boxes.size(), c.shown.isEmpty() ? 0 : 1);
        if (c.shown.isEmpty()) return;
        QCOMPARE(h.boxes[0].title, QStringLiteral("バージョンの確認"));
        QVERIFY2(h.boxes[0].text.contains("VOKL.DLL    : " + c.shown) && h.boxes[0].text.contains(c.tail),
                 qPrintable(h.boxes[0].text));
        QCOMPARE(h.boxes[0].icon, c.icon);
        QCOMPARE(h.boxes[0].buttons, c.icon == QMessageBox::Critical ? QMessageBox::Ok : QMessageBox::Yes | QMessageBox::No);
    }

    // Each "go on" tries again from the path check, without a new version check.
    void missingExportAsksEachTime() {
        Harness h;
        h.noConversion = true;
        h.answers << QMessageBox::Yes << QMessageBox::Yes << QMessageBox::No;
        frmVokl& w = run(h, 3);
        QCOMPARE(h.boxes.size(), 3);
        QVERIFY(h.boxes[2].text.contains("VOKL.DLL    : 0.90"));
        QCOMPARE(h.versionCalls, 1);
        QVERIFY(!w.isBusy() && h.errors.isEmpty());
        QVERIFY2(tempLogs().isEmpty(), qPrintable(tempLogs().join(',')));  // the attempts' unused logs
    }

    // The status text per result code; the log is shown on failure, deleted on success.
    void results_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("1: records") << 1 << 12 << "コード変換が終了しました(レコード=12件)";
        QTest::newRow("2: done") << 2 << 0 << "コード変換が終了しました";
        QTest::newRow("3: record size") << 3 << 96 << "パターンファイルの作成が終了しました(レコードサイズ=96)";
        QTest::newRow("1: code errors, shown") << 1 << -1 << "一部のコードで変換エラーが発生しました";
        QTest::newRow("2: pattern, shown") << 2 << -12 << "パターンファイルがオープン出来ません";
        QTest::newRow("3: unsupported, shown") << 3 << -4 << "パターンファイルの作成が終了しました(ただし未サポート項目が含まれています)";
    }
    void results() {
        QFETCH(int, tab);
        QFETCH(int, code);
        Harness h;
        h.result = code;
        bool logShown = false;
        h.whileError = [&h, &logShown] { logShown = QFile::exists(h.window->sErrLog); };
        // An empty conversion-error log goes if the call made it, stays if it was there before.
        const QString convLog = h.programDir.filePath("VOK_LOG_20260102_030405.txt");
        const bool convLogBefore = code < 0;
        if (convLogBefore) QVERIFY(writeFile(convLog, ""));
        h.during = [&convLog] { QVERIFY(writeFile(convLog, "")); };
        frmVokl& w = run(h, tab);
        QCOMPARE(QFile::exists(convLog), tab != 2 || convLogBefore);
        QTEST(w.lblMsg->text(), "text");
        const bool shown = QString(QTest::currentDataTag()).endsWith("shown");
        QCOMPARE(h.errors.size(), int(shown));
        QVERIFY(!shown || h.errors[0].startsWith("busy|" + w.sErrLog + '|' + in(tab) + '|' + out(tab)));
        // Gone once the dialog has shown it.
        QCOMPARE(logShown, shown);
        QVERIFY(!w.sErrLog.isEmpty() && h.boxes.isEmpty() && tempLogs().isEmpty());
    }

    // The call the options make; {in} {out} {ptn} {log} {conv} stand for the paths.
    void arguments_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("call");
        const QString s2j = "s2jconv|1|%1|{in}|{out}|{log}";
        const QString j2s = "j2sconv|1|%1|{in}|{out}|%2|{log}|{conv}";
        const QString mk = "mkpatn|1|%1|{in}|{out}|{log}";
        QTest::newRow("ASCII") << 1 << "opt1_3" << s2j.arg("4|0");
        QTest::newRow("kana upper case, shift codes") << 1 << "opt1_1 chk1_1 chk1_2" << s2j.arg("2|1");
        QTest::newRow("lower case keeps the mark") << 1 << "opt1_1 chk1_1 opt1_2" << s2j.arg("3|0");
        QTest::newRow("the mark used again") << 1 << "opt1_1 chk1_1 opt1_2 opt1_1" << s2j.arg("2|0");
        QTest::newRow("no conversion") << 1 << "txt1_Sjsp=QMR=\\7 opt1_4" << s2j.arg("9|0");
        QTest::newRow("plain") << 2 << "opt2_2" << j2s.arg("2|0|0|0", "_********_");
        QTest::newRow("all options") << 2 << "opt2_3 chk2_3 txt2_Ptnp={ptn} chk2_4 chk2_6 chk2_8 chk2_2 txt2_RecSize=80"
                                     << j2s.arg("3|80|1|10", "{ptn}");
        QTest::newRow("trim, right") << 2 << "opt2_1 chk2_3 txt2_Ptnp={ptn} chk2_5 chk2_7" << j2s.arg("1|0|0|5", "{ptn}");
        QTest::newRow("pattern off") << 2 << "opt2_1 chk2_3 txt2_Ptnp={ptn} chk2_4 chk2_5 chk2_3"
                                     << j2s.arg("1|0|1|0", "_********_");
        QTest::newRow("spaces, quotes") << 3 << "chk3_1 opt3_2 chk3_2" << mk.arg("2|1");
        QTest::newRow("commas") << 3 << "chk3_1 opt3_1 chk3_2 chk3_2" << mk.arg("1|0");
    }
    void arguments() {
        QFETCH(int, tab);
        QFETCH(QString, steps);
        QFETCH(QString, call);
        Harness h;
        frmVokl& w = run(h, tab, steps);
        QVERIFY(w.sErrLog.startsWith(temp_.path() + "/vok"));
        call.replace("{in}", in(tab)).replace("{out}", out(tab)).replace("{ptn}", in(4)).replace("{log}", w.sErrLog);
        QCOMPARE(h.calls, QStringList{call.replace("{conv}", h.programDir.filePath("VOK_LOG_20260102_030405.txt"))});
    }

    // Started with Enter from a path box, which has the focus again afterwards, also when the
    // window is activated again only after the error dialog has gone.
    void busyWhileCalling() {
        Harness h;
        frmVokl& w = h.load();
        QVERIFY(h.showActive());
        h.act("opt1_3");
        fillTab(w, 1, in(1), out(1));
        h.result = -1;
        QString shown;  // while the library works
        h.during = [&] { shown = QString("%1 %2 ").arg(w.isBusy()).arg(w.cursor().shape()) + w.lblMsg->text(); };
        QWidget dialog;
        h.whileError = [&dialog] {
            dialog.show();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
        };
        w.txt1_Jefp->setFocus();
        QTest::keyClick(w.txt1_Jefp, Qt::Key_Return);
        QCOMPARE(shown, QStringLiteral("1 %1 処理中です。しばらくお待ちください").arg(Qt::WaitCursor));
        QCOMPARE(h.errors.size(), 1);
        QVERIFY(!w.isBusy() && w.cursor().shape() == Qt::ArrowCursor);
        dialog.hide();
        QVERIFY(h.showActive());
        QCOMPARE(QApplication::focusWidget(), w.txt1_Jefp);
    }

    // What reaches the window during a run is dropped at once, not replayed afterwards.
    void inputDuringARunIsDropped() {
        Harness h;
        QVERIFY(h.showActive());
        frmVokl* w = h.window.get();
        bool closed = true;
        h.during = [w, &closed] {
            for (QPushButton* button : {w->cmdOk, w->cmdCancel}) {
                const QPointF centre = QRectF(button->rect()).center();
                for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                    QCoreApplication::postEvent(button, new QMouseEvent(type, centre, button->mapToGlobal(centre),
                                                                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
            }
            QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
            closed = w->close();
        };
        run(h, 1);
        QTest::qWait(20);  // anything still queued
        QCOMPARE(h.calls.size(), 1);
        QVERIFY(!closed && h.quits == 0 && w->isVisible() && !w->isBusy());
        QVERIFY(w->close());  // once the run is over
    }

    // With the extended interface: a bar while the job runs, up to 100 %; 中止 and Esc stop it.
    void progressAndStopping_data() {
        QTest::addColumn<QString>("stop");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("to the end") << "" << 1 << "コード変換が終了しました(レコード=1件)";
        QTest::newRow("中止") << "cmdStop" << 1 << "処理を中止しました";
        QTest::newRow("Esc") << "Esc" << 1 << "処理を中止しました";
        QTest::newRow("the log as handed out") << "" << -1 << "一部のコードで変換エラーが発生しました";
    }
    void progressAndStopping() {
        QFETCH(QString, stop);
        QFETCH(int, code);
        Harness h;
        h.extended = true;
        h.result = code;
        QVERIFY(h.showActive());
        frmVokl* w = h.window.get();
        QString shown;  // while the job runs
        h.during = [w, &shown, stop] {
            shown = QString("%1 %2 ").arg(w->prgRun->isVisible()).arg(w->cmdStop->isVisible()) + w->prgRun->text();
            checkLook(w);
            if (stop == "cmdStop") QTest::mouseClick(w->cmdStop, Qt::LeftButton);
            if (stop == "Esc") QTest::keyClick(w, Qt::Key_Escape);
        };
        run(h, 2);
        QTEST(w->lblMsg->text(), "text");
        QCOMPARE(shown, QStringLiteral("1 1 0%  0.0 MB/s"));
        QCOMPARE(w->prgRun->value(), stop.isEmpty() ? 100 : 50);
        QVERIFY(w->prgRun->isHidden() && w->cmdStop->isHidden() && tempLogs().isEmpty());
        QCOMPARE(h.errors, code < 0 ? QStringList{h.errors.value(0).section('|', 0, -2) + "|lines:記録の一行"} : QStringList());
    }

    // Told in a box; the window is usable again and leaving still works.
    void failuresAroundTheLibrary_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");  // "" for any
        QTest::newRow("no library") << "エラーの確認" << "libvokl.so: cannot open shared object file";
        QTest::newRow("no temporary file") << "エラー" << "一時ファイルが作成できませんでした";
        QTest::newRow("log cannot be deleted") << "エラーの確認" << "";
    }
    void failuresAroundTheLibrary() {
        QFETCH(QString, title);
        QFETCH(QString, text);
        const QString fault = QTest::currentDataTag();
        Harness h;
        h.notLoadable = fault == "no library";
        if (fault == "no temporary file") qputenv("TMPDIR", QFile::encodeName(temp_.filePath("none")));
        // A file that exists but cannot be removed, even by root.
        if (text.isEmpty()) h.during = [&h] { h.window->sErrLog = "/proc/self/status"; };
        frmVokl& w = run(h, 1);
        QCOMPARE(h.boxes.size(), 1);
        QCOMPARE(h.boxes[0].title, title);
        if (!text.isEmpty()) QCOMPARE(h.boxes[0].text, text);
        QCOMPARE(h.calls.size(), text.isEmpty() ? 1 : 0);
        QVERIFY(!w.isBusy() && w.cmdOk->isEnabled());
        h.act("cmdCancel");
        QCOMPARE(h.quits, 1);
    }

    // The error dialog closing, "終了(&X)" and closing the window delete the last
    // log unless Ctrl is held then.
    void leaving_data() {
        QTest::addColumn<bool>("ctrlAtDialog");
        QTest::addColumn<bool>("ctrl");
        QTest::newRow("dialog closed, cancel") << false << true;
        QTest::newRow("dialog closed with Ctrl, cancel") << true << false;
        QTest::newRow("dialog closed with Ctrl, close with Ctrl") << true << true;
    }
    void leaving() {
        QFETCH(bool, ctrlAtDialog);
        QFETCH(bool, ctrl);
        Harness h;
        QVERIFY(h.showActive());
        h.result = -1;
        h.whileError = [&h, ctrlAtDialog] {
            QDialog dialog(h.window.get());  // the key goes to the dialog, which the window watches
            if (ctrlAtDialog) QTest::keyPress(&dialog, Qt::Key_Control, Qt::ControlModifier);
        };
        frmVokl& w = run(h, 1);
        QCOMPARE(QFile::exists(w.sErrLog), ctrlAtDialog);
        QTest::keyPress(&w, Qt::Key_Control, Qt::ControlModifier);
        if (!ctrl) QTest::keyRelease(&w, Qt::Key_Control);
        QString(QTest::currentDataTag()).endsWith("cancel") ? w.cmdCancel->click() : void(w.close());
        QCOMPARE(QFile::exists(w.sErrLog), ctrlAtDialog && ctrl);
    }

    void helpAndVersion() {
        Harness h;
        h.load();
        h.act("cmdHelp cmdVersion cmdVersion");
        QCOMPARE(h.helps, QStringList{h.programDir.filePath("vok.hlp")});
        QCOMPARE(h.versions, 2);
        QVERIFY(h.boxes.isEmpty());  // a failed help call is not reported
    }

    void convLogBesideTheProgramOrInDataFolder() {
        const QDateTime when(QDate(2026, 3, 4), QTime(1, 2, 3));
        qputenv("XDG_DATA_HOME", QFile::encodeName(files_.filePath("data home")));
        const QString name = vok::GetConvLogName(files_.filePath("gone"), when);
        qunsetenv("XDG_DATA_HOME");
        QVERIFY2(name.startsWith(files_.filePath("data home/")) && name.endsWith("/VOK_LOG_20260304_010203.txt"),
                 qPrintable(name));
    }

    // In a Japanese folder with a blank: there and back, and a faulty pattern. (Tab 3 reaches the library
    // through the same calls; binding() and the stand-in's runs cover it.)
    void realLibrary() {
        VoklLibrary library(VOK_REAL_LIB_DIR "/libvokl.so");
        Harness h(&library);
        frmVokl& w = h.load();
        QVERIFY(writeFile(jp("往復.txt"), sjis("漢字ABC")));
        drop(w.txt1_Sjsp, {jp("往復.txt")});
        h.act("opt1_1 chk1_2 cmdOk");
        QCOMPARE(w.lblMsg->text(), QStringLiteral("コード変換が終了しました"));
        QCOMPARE(w.prgRun->value(), 100);
        fillTab(w, 2, jp("往復.bin"), jp("戻り.txt"));
        h.act("opt2_1 cmdOk");
        QVERIFY2(w.lblMsg->text().startsWith(QStringLiteral("コード変換が終了しました")), qPrintable(w.lblMsg->text()));
        QCOMPARE(readAll(jp("戻り.txt")), sjis("漢字ABC"));
        QVERIFY(h.errors.isEmpty() && h.boxes.isEmpty() && tempLogs().isEmpty());
        // A faulty pattern: the log's lines as the library handed them out, and no file left behind.
        QVERIFY(writeFile(jp("誤り.ptn"), "12345\n"));
        h.act("tab2 opt2_1 chk2_3");
        w.txt2_Ptnp->setText(jp("誤り.ptn"));
        h.act("cmdOk");
        QCOMPARE(w.lblMsg->text(), QStringLiteral("レコードパターンの記述に誤りがあります"));
        QCOMPARE(h.errors.size(), 1);
        QVERIFY2(h.errors[0].endsWith("|lines:レコードパターンの内容が数字のみです"), qPrintable(h.errors[0]));
        QVERIFY(tempLogs().isEmpty() && QDir(h.programDir.path()).entryList({"VOK_LOG_*"}).isEmpty());
    }

    void binding() {
        // Every argument reaches the library in its place.
        qputenv("VOK_FAKE_CALLS", QFile::encodeName(jp("calls")));
        VoklLibrary library(stand("v110"));
        library.s2jconv(0, 2, 1, "in.txt", "out.bin", "log1");
        library.j2sconv(0, 3, 80, 1, 9, "in.bin", "out.txt", "a.ptn", "log2", "conv.txt");
        library.mkpatn(0, 2, 1, "copy.cbl", "out.ptn", "log3");
        QCOMPARE(readAll(jp("calls")), QByteArray("s2jconv|0|2|1|in.txt|out.bin|log1\n"
                                                    "j2sconv|0|3|80|1|9|in.bin|out.txt|a.ptn|log2|conv.txt\n"
                                                    "mkpatn|0|2|1|copy.cbl|out.ptn|log3\n"));
        // Loaded at the first call and tried again after a failure: the file may come later.
        VoklLibrary late(jp("libvokl_late.so"));
        QVERIFY_THROWS_EXCEPTION(vok::LibraryLoadError, late.voklVersion());
        QVERIFY(late.loadedFile().isEmpty() && QFile::copy(stand("v200"), jp("libvokl_late.so")));
        QCOMPARE(late.voklVersion(), 200.0f);
        // A bare name is found as the program's own search path says: beside it or in ../lib.
        VoklLibrary byName;
        QCOMPARE(byName.voklVersion(), 110.0f);
        // Given the program's folder, where an installed tree keeps the library, the build
        // tree's ../lib or the program folder, under the name a run-time package has.
        for (const QString& libraryDir : {QStringLiteral("bin/" VOK_BIN_TO_LIBDIR), QStringLiteral("lib"), QStringLiteral("bin")}) {
            QTemporaryDir dir;
            const QDir root(dir.path());
            const QString libDir = QDir::cleanPath(root.filePath(libraryDir));
            QVERIFY(QDir().mkpath(root.filePath("bin")) && QDir().mkpath(libDir));
            const QString file = QDir(libDir).filePath(QStringLiteral("libvokl_v200.so.%1").arg(VOKL_SOVERSION));
            QVERIFY(QFile::copy(stand("v200"), file));
            VoklLibrary installed(QStringLiteral("vokl_v200"), root.filePath("bin"));
            QCOMPARE(installed.voklVersion(), 200.0f);
            QCOMPARE(QFileInfo(installed.loadedFile()).canonicalFilePath(), QFileInfo(file).canonicalFilePath());
        }
    }
};

QTEST_MAIN(tst_run)
#include "tst_run.moc"
