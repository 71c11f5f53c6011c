// The run behind the run button, on a library stand-in inside the process:
// version check, missing exports, path check, temporary log, busy state,
// arguments, status texts, error dialog or log deletion, and the other buttons.
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "core/resultReport.h"
#include "fakeServices.h"
#include "pathBox.h"

class tst_rundriver : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void versionCheck_data();
    void versionCheck();
    void missingVersionExport_data();
    void missingVersionExport();
    void missingConversionExport();
    void libraryNotLoadable();
    void resultCodes_data();
    void resultCodes();
    void resultTextsAsWritten();
    void argumentsInOrder();
    void busyWhileCallingAndShowingLog();
    void focusReturnsAfterRun();
    void noTemporaryFile();
    void pathCheckStopsRun();
    void trimBitsAtRun_data();
    void trimBitsAtRun();
    void undeletableLogIsReported();
    void cancelButton();
    void helpAndVersionButtons();

private:
    QTemporaryDir files_;
    QTemporaryDir temp_;  // the temporary folder of the runs
    QByteArray oldTmp_;
    // Fills the tab so that the run button is enabled and the checks pass.
    void ready(frmVokl& w, int tab);
    QString path(const QString& name) const { return files_.filePath(name); }
    QStringList tempLogs() const { return QDir(temp_.path()).entryList({"vok*"}, QDir::Files); }
};

void tst_rundriver::init() {
    oldTmp_ = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(temp_.path()));
    for (const char* name : {"in.txt", "in.bin", "in.cbl", "in.ptn"}) {
        QFile f(path(QString::fromLatin1(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("XX\n");
    }
}

void tst_rundriver::cleanup() {
    if (oldTmp_.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", oldTmp_);
    for (const QString& f : tempLogs()) QFile::remove(temp_.filePath(f));
}

void tst_rundriver::ready(frmVokl& w, int tab) {
    w.tabRTF->setCurrentIndex(tab - 1);
    switch (tab) {
    case 1:
        w.txt1_Sjsp->setText(path("in.txt"));
        w.txt1_Jefp->setText(path("out.bin"));
        w.opt1_3->setChecked(true);
        break;
    case 2:
        w.txt2_Jefp->setText(path("in.bin"));
        w.txt2_Sjsp->setText(path("out.txt"));
        w.opt2_2->setChecked(true);
        break;
    default:
        w.txt3_Copyp->setText(path("in.cbl"));
        w.txt3_Ptnp->setText(path("out.ptn"));
        break;
    }
    QVERIFY(w.cmdOk->isEnabled());
}

void tst_rundriver::versionCheck_data() {
    QTest::addColumn<float>("version");
    QTest::addColumn<int>("tab");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("tail");  // "" for no box
    QTest::addColumn<int>("icon");
    QTest::addColumn<bool>("runs");
    const QString newer = QStringLiteral("この機能をお使いになる場合は1.10以上のバージョンをご利用下さい");
    const QString same = QStringLiteral("この機能をお使いになる場合は同じバージョンのDLLをご利用下さい");
    const QString ask = QStringLiteral("このまま処理を続けますか ?");
    const int yes = QMessageBox::Yes;
    const int no = QMessageBox::No;
    const int warning = QMessageBox::Warning;
    const int critical = QMessageBox::Critical;
    for (int tab = 1; tab <= 3; ++tab) {
        QTest::addRow("1.10 tab%d", tab) << 110.0f << tab << false << yes << "" << 0 << true;
        QTest::addRow("2.00 tab%d", tab) << 200.0f << tab << false << yes << "" << 0 << true;
        QTest::addRow("10.00 tab%d", tab) << 1000.0f << tab << false << yes << "" << 0 << true;
        QTest::addRow("1.05 hidden tab%d", tab)
            << 105.0f << tab << true << yes << (tab == 3 ? newer : same) << critical << false;
    }
    QTest::newRow("1.05 tab3") << 105.0f << 3 << false << yes << newer << critical << false;
    QTest::newRow("1.05 tab1 yes") << 105.0f << 1 << false << yes << ask << warning << true;
    QTest::newRow("1.05 tab1 no") << 105.0f << 1 << false << no << ask << warning << false;
    QTest::newRow("1.05 tab2 yes") << 105.0f << 2 << false << yes << ask << warning << true;
    QTest::newRow("1.09 tab2 no") << 109.0f << 2 << false << no << ask << warning << false;
}

void tst_rundriver::versionCheck() {
    QFETCH(float, version);
    QFETCH(int, tab);
    QFETCH(bool, hidden);
    QFETCH(int, answer);
    QFETCH(QString, tail);
    QFETCH(int, icon);
    QFETCH(bool, runs);
    Harness h;
    frmVokl& w = h.load();
    if (hidden) w.txt1_Sjsp->setText(QStringLiteral("QMR=\\7"));
    ready(w, tab);
    h.fakeLibrary.version = version;
    h.messages.answers << QMessageBox::StandardButton(answer);
    w.cmdOk->click();
    QCOMPARE(h.fakeLibrary.calls.size(), runs ? 1 : 0);
    QVERIFY(!w.isBusy());
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    if (tail.isEmpty()) {
        QVERIFY(h.messages.calls.isEmpty());
        return;
    }
    QCOMPARE(h.messages.calls.size(), 1);
    const BoxCall& box = h.messages.calls[0];
    QCOMPARE(box.title, QStringLiteral("バージョンの確認"));
    const QString v = QString::asprintf("%.2f", version / 100.0);
    QCOMPARE(box.text, QStringLiteral("vokl.dll とバージョンが異なります\n\n     VOK.EXE     : 1.10\n     VOKL.DLL    : ") +
                           v + QStringLiteral("\n\n") + tail);
    QCOMPARE(int(box.icon), icon);
    if (icon == QMessageBox::Warning) {
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.defaultButton, QMessageBox::Yes);
    } else {
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
}

void tst_rundriver::missingVersionExport_data() {
    QTest::addColumn<int>("tab");
    QTest::newRow("tab1") << 1;
    QTest::newRow("tab2") << 2;
    QTest::newRow("tab3") << 3;
}

void tst_rundriver::missingVersionExport() {
    QFETCH(int, tab);
    const QString question = QStringLiteral(
        "vokl.dll とバージョンが異なります\n\n     VOK.EXE     : 1.10\n     VOKL.DLL    : 0.90\n\nこのまま処理を続けますか ?");
    for (const auto answer : {QMessageBox::Yes, QMessageBox::No}) {
        Harness h;
        frmVokl& w = h.load();
        ready(w, tab);
        h.fakeLibrary.noVersion = true;
        h.messages.answers << answer;
        w.cmdOk->click();
        QCOMPARE(h.messages.calls.size(), 1);
        QCOMPARE(h.messages.calls[0].title, QStringLiteral("バージョンの確認"));
        QCOMPARE(h.messages.calls[0].text, question);
        QCOMPARE(h.messages.calls[0].icon, QMessageBox::Question);
        QCOMPARE(h.messages.calls[0].buttons, QMessageBox::Yes | QMessageBox::No);
        // Yes goes on with the path check and the run, without a new check.
        QCOMPARE(h.fakeLibrary.calls.size(), answer == QMessageBox::Yes ? 1 : 0);
        QVERIFY(!w.isBusy());
    }
}

void tst_rundriver::missingConversionExport() {
    Harness h;
    frmVokl& w = h.load();
    ready(w, 2);
    h.fakeLibrary.noConversion = true;
    h.messages.answers << QMessageBox::Yes << QMessageBox::Yes << QMessageBox::No;
    w.cmdOk->click();
    QCOMPARE(h.messages.calls.size(), 3);
    for (const BoxCall& box : h.messages.calls) QVERIFY(box.text.contains(QStringLiteral("VOKL.DLL    : 0.90")));
    QCOMPARE(h.fakeLibrary.versionCalls, 1);  // checked once, then repeated from the path check
    QVERIFY(!w.isBusy());
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    // The attempts' unused logs are not left behind.
    QVERIFY2(tempLogs().isEmpty(), qPrintable(tempLogs().join(',')));
    QVERIFY(h.dialogs.errors.isEmpty());
}

void tst_rundriver::libraryNotLoadable() {
    Harness h;
    frmVokl& w = h.load();
    ready(w, 1);
    h.fakeLibrary.notLoadable = true;
    w.cmdOk->click();
    QCOMPARE(h.messages.calls.size(), 1);
    QCOMPARE(h.messages.calls[0].title, QStringLiteral("エラーの確認"));
    QCOMPARE(h.messages.calls[0].text, QStringLiteral("libvokl.so: cannot open shared object file"));
    QCOMPARE(h.messages.calls[0].icon, QMessageBox::Critical);
    QCOMPARE(h.messages.calls[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!w.isBusy());
    QVERIFY(w.cmdOk->isEnabled());
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
}

void tst_rundriver::resultCodes_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("code");
    const int codes[] = {12, 1, 0, -1, -2, -3, -4, -10, -11, -12, -13, -15, -16, -17, -18, -20, -21, -22, -25, -26,
                         -27, -30, -31, -5, -99};
    for (int tab = 1; tab <= 3; ++tab)
        for (int code : codes) QTest::addRow("tab%d %d", tab, code) << tab << code;
}

void tst_rundriver::resultCodes() {
    QFETCH(int, tab);
    QFETCH(int, code);
    Harness h;
    frmVokl& w = h.load();
    ready(w, tab);
    h.fakeLibrary.result = code;
    w.cmdOk->click();
    QCOMPARE(h.fakeLibrary.calls.size(), 1);
    const vok::ResultReport report = vok::resultReport(static_cast<vok::Tab>(tab), code);
    QCOMPARE(w.lblMsg->text(), QString::fromStdString(report.text));
    QCOMPARE(h.dialogs.errors.size(), report.showLog ? 1 : 0);
    QVERIFY(!w.sErrLog.isEmpty());
    QCOMPARE(QFile::exists(w.sErrLog), report.showLog);
    if (report.showLog) QCOMPARE(h.dialogs.errors[0].logPath, w.sErrLog);
    QVERIFY(!w.isBusy());
    QVERIFY(h.messages.calls.isEmpty());
}

void tst_rundriver::resultTextsAsWritten() {
    struct Case {
        int tab;
        int code;
        const char* text;
        bool dialog;
    };
    const Case cases[] = {
        {1, 12, "コード変換が終了しました(レコード=12件)", false},
        {2, 0, "コード変換が終了しました", false},
        {3, 96, "パターンファイルの作成が終了しました(レコードサイズ=96)", false},
        {3, 0, "プログラムエラーが発生しました(0)", true},
        {3, -4, "パターンファイルの作成が終了しました(ただし未サポート項目が含まれています)", true},
        {2, -22, "パターンファイルの読み込みが出来ません", true},
        {1, -22, "プログラムエラーが発生しました(-22)", true},
        {1, -31, "作業用ファイルがオープン出来ません", true},
        {3, -31, "作業用ファイルがオープン出来ません", true},
    };
    for (const Case& c : cases) {
        Harness h;
        frmVokl& w = h.load();
        ready(w, c.tab);
        h.fakeLibrary.result = c.code;
        w.cmdOk->click();
        QCOMPARE(w.lblMsg->text(), QString::fromUtf8(c.text));
        QCOMPARE(h.dialogs.errors.size(), c.dialog ? 1 : 0);
        QCOMPARE(QFile::exists(w.sErrLog), c.dialog);
    }
}

void tst_rundriver::argumentsInOrder() {
    Harness h;
    frmVokl& w = h.load();
    ready(w, 1);
    w.opt1_1->setChecked(true);
    w.chk1_1->setChecked(true);
    w.chk1_2->setChecked(true);
    w.cmdOk->click();
    QCOMPARE(h.fakeLibrary.calls.size(), 1);
    QCOMPARE(h.fakeLibrary.calls[0].name, QStringLiteral("s2jconv"));
    QCOMPARE(h.fakeLibrary.calls[0].args,
             (QStringList{"1", "2", "1", path("in.txt"), path("out.bin"), w.sErrLog}));
    QVERIFY(w.sErrLog.startsWith(temp_.path() + QStringLiteral("/vok")));

    ready(w, 2);
    w.chk2_3->setChecked(true);
    w.txt2_Ptnp->setText(path("in.ptn"));
    w.chk2_4->setChecked(true);
    w.chk2_6->setChecked(true);
    w.chk2_8->setChecked(true);
    w.chk2_2->setChecked(true);
    w.txt2_RecSize->setText(QStringLiteral("80"));
    w.opt2_3->setChecked(true);
    w.cmdOk->click();
    QCOMPARE(h.fakeLibrary.calls.size(), 2);
    QCOMPARE(h.fakeLibrary.calls[1].name, QStringLiteral("j2sconv"));
    QCOMPARE(h.fakeLibrary.calls[1].args,
             (QStringList{"1", "3", "80", "1", "10", path("in.bin"), path("out.txt"), path("in.ptn"), w.sErrLog,
                          h.programDir.path() + QStringLiteral("/VOK_LOG_20260102_030405.txt")}));
    QCOMPARE(w.lTrimMode2, 10);

    ready(w, 3);
    w.chk3_1->setChecked(true);
    w.opt3_2->setChecked(true);
    w.chk3_2->setChecked(true);
    w.cmdOk->click();
    QCOMPARE(h.fakeLibrary.calls.size(), 3);
    QCOMPARE(h.fakeLibrary.calls[2].name, QStringLiteral("mkpatn"));
    QCOMPARE(h.fakeLibrary.calls[2].args, (QStringList{"1", "2", "1", path("in.cbl"), path("out.ptn"), w.sErrLog}));

    // Without a pattern, the marker goes as the pattern path.
    Harness plain;
    frmVokl& p = plain.load();
    ready(p, 2);
    p.cmdOk->click();
    QCOMPARE(plain.fakeLibrary.calls[0].args[2], QStringLiteral("0"));
    QCOMPARE(plain.fakeLibrary.calls[0].args[7], QStringLiteral("_********_"));
}

void tst_rundriver::busyWhileCallingAndShowingLog() {
    Harness h;
    frmVokl& w = h.load();
    ready(w, 1);
    h.fakeLibrary.result = -1;
    w.lblMsg->setText(QStringLiteral("old"));
    w.cmdOk->click();
    const CallSnapshot& call = h.fakeLibrary.calls.at(0);
    QVERIFY(call.busy);
    QCOMPARE(call.cursor, Qt::WaitCursor);
    QCOMPARE(call.status, QStringLiteral("処理中です。しばらくお待ちください"));
    QCOMPARE(h.dialogs.errors.size(), 1);
    QVERIFY(h.dialogs.errors[0].windowBusy);
    QCOMPARE(h.dialogs.errors[0].runPaths,
             (std::vector<std::string>{path("in.txt").toStdString(), path("out.bin").toStdString()}));
    QVERIFY(!w.isBusy());
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(w.lblMsg->text(), QStringLiteral("一部のコードで変換エラーが発生しました"));
}

void tst_rundriver::focusReturnsAfterRun() {
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    ready(w, 1);
    w.txt1_Jefp->setFocus();
    QTest::keyClick(w.txt1_Jefp, Qt::Key_Return);
    QCOMPARE(h.fakeLibrary.calls.size(), 1);
    QVERIFY(h.fakeLibrary.calls[0].busy);
    QCOMPARE(QApplication::focusWidget(), w.txt1_Jefp);
}

void tst_rundriver::noTemporaryFile() {
    Harness h;
    frmVokl& w = h.load();
    ready(w, 1);
    qputenv("TMPDIR", QFile::encodeName(temp_.filePath(QStringLiteral("none"))));
    w.cmdOk->click();
    QCOMPARE(h.messages.calls.size(), 1);
    QCOMPARE(h.messages.calls[0].text, QStringLiteral("一時ファイルが作成できませんでした"));
    QCOMPARE(h.messages.calls[0].title, QStringLiteral("エラー"));
    QCOMPARE(h.messages.calls[0].icon, QMessageBox::Warning);
    QVERIFY(h.fakeLibrary.calls.isEmpty());
    QVERIFY(!w.isBusy());
}

void tst_rundriver::pathCheckStopsRun() {
    Harness h;
    frmVokl& w = h.load();
    ready(w, 3);
    w.txt3_Copyp->setText(path("none.cbl"));
    w.cmdOk->click();
    QCOMPARE(w.lblMsg->text(), QStringLiteral("指定されたパス名は存在しません"));
    QVERIFY(h.fakeLibrary.calls.isEmpty());
    QVERIFY(h.messages.calls.isEmpty());
    QVERIFY(w.sErrLog.isEmpty());
    QVERIFY(tempLogs().isEmpty());
}

void tst_rundriver::trimBitsAtRun_data() {
    QTest::addColumn<bool>("pattern");
    QTest::addColumn<QString>("boxes");  // of chk2_5 to chk2_8, '1' for checked
    QTest::addColumn<int>("bits");
    QTest::newRow("no pattern, all on") << false << "1111" << 0;
    QTest::newRow("kanji only") << true << "0001" << 0;
    QTest::newRow("trim and kanji") << true << "1001" << 9;
    QTest::newRow("all") << true << "1111" << 15;
    QTest::newRow("right") << true << "0010" << 4;
}

void tst_rundriver::trimBitsAtRun() {
    QFETCH(bool, pattern);
    QFETCH(QString, boxes);
    QFETCH(int, bits);
    Harness h;
    frmVokl& w = h.load();
    ready(w, 2);
    w.chk2_3->setChecked(true);
    w.txt2_Ptnp->setText(path("in.ptn"));
    QCheckBox* trim[] = {w.chk2_5, w.chk2_6, w.chk2_7, w.chk2_8};
    w.chk2_5->setChecked(true);  // enables chk2_8
    for (int i = 0; i < 4; ++i) trim[i]->setChecked(boxes[i] == '1');
    w.chk2_3->setChecked(pattern);
    w.cmdOk->click();
    QCOMPARE(h.fakeLibrary.calls.size(), 1);
    QCOMPARE(h.fakeLibrary.calls[0].args[4], QString::number(bits));
}

void tst_rundriver::undeletableLogIsReported() {
    Harness h;
    frmVokl& w = h.load();
    ready(w, 1);
    h.fakeLibrary.result = 3;
    // A file that exists but cannot be removed, even by root.
    h.fakeLibrary.during = [&w] { w.sErrLog = QStringLiteral("/proc/self/status"); };
    w.cmdOk->click();
    QCOMPARE(h.messages.calls.size(), 1);
    QCOMPARE(h.messages.calls[0].title, QStringLiteral("エラーの確認"));
    QVERIFY(!h.messages.calls[0].text.isEmpty());
    QVERIFY(!w.isBusy());
    // Leaving: the failure is ignored and the program ends.
    w.cmdCancel->click();
    QCOMPARE(h.app.quits, 1);
}

void tst_rundriver::cancelButton() {
    {
        Harness h;
        frmVokl& w = h.load();
        w.cmdCancel->click();  // before any run: nothing to delete
        QCOMPARE(h.app.quits, 1);
    }
    for (const bool ctrl : {false, true}) {
        Harness h;
        frmVokl& w = h.load();
        QVERIFY(h.showActive());
        ready(w, 1);
        h.fakeLibrary.result = -1;
        w.cmdOk->click();
        const QString log = w.sErrLog;
        QVERIFY(QFile::exists(log));
        if (ctrl) QTest::keyPress(w.cmdCancel, Qt::Key_Control, Qt::ControlModifier);
        w.cmdCancel->click();
        QCOMPARE(h.app.quits, 1);
        QCOMPARE(QFile::exists(log), ctrl);
    }
}

void tst_rundriver::helpAndVersionButtons() {
    Harness h;
    frmVokl& w = h.load();
    h.dialogs.helpResult = -1;  // ignored
    w.cmdHelp->click();
    QCOMPARE(h.dialogs.helps.size(), 1);
    QCOMPARE(h.dialogs.helps[0].first, nullptr);
    QCOMPARE(h.dialogs.helps[0].second, h.programDir.path() + QStringLiteral("/vok.hlp"));
    QVERIFY(h.messages.calls.isEmpty());
    w.cmdVersion->click();
    w.cmdVersion->click();
    QCOMPARE(h.dialogs.versions, 2);
}

QTEST_MAIN(tst_rundriver)
#include "tst_rundriver.moc"
