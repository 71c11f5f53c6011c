// The run behind the run button, on a library stand-in inside the process:
// version check, missing exports, path check, temporary log, busy state,
// arguments, status texts, error dialog or log deletion, and the other buttons.
#include <QCheckBox>
#include <QDir>
#include <QMap>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

#include "fakeServices.h"

class tst_rundriver : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void versionCheck_data();
    void versionCheck();
    void missingConversionExport_data();
    void missingConversionExport();
    void libraryNotLoadable();
    void resultCodes_data();
    void resultCodes();
    void argumentsInOrder();
    void busyWhileCallingAndShowingLog();
    void noTemporaryFile();
    void pathCheckStopsRun();
    void trimBitsAtRun_data();
    void trimBitsAtRun();
    void undeletableLogIsReported();
    void leavingDeletesLogUnlessCtrl_data();
    void leavingDeletesLogUnlessCtrl();
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
    const char* const in[] = {"in.txt", "in.bin", "in.cbl"};
    const char* const out[] = {"out.bin", "out.txt", "out.ptn"};
    fillTab(w, tab, path(in[tab - 1]), path(out[tab - 1]));
    if (tab == 1) w.opt1_3->setChecked(true);
    if (tab == 2) w.opt2_2->setChecked(true);
    QVERIFY(w.cmdOk->isEnabled());
}

namespace {
// Stands for a library without voklVersion, which shows as "0.90".
constexpr float kNoVersion = 90.0f;
}  // namespace

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
    const int question = QMessageBox::Question;
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
    // Yes goes on with the path check and the run, without a new check.
    for (int tab = 1; tab <= 3; ++tab) {
        QTest::addRow("no voklVersion tab%d yes", tab) << kNoVersion << tab << false << yes << ask << question << true;
        QTest::addRow("no voklVersion tab%d no", tab) << kNoVersion << tab << false << no << ask << question << false;
    }
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
    h.fakeLibrary.noVersion = icon == QMessageBox::Question;
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
    const QMap<float, QString> shownAs{{105.0f, "1.05"}, {109.0f, "1.09"}, {kNoVersion, "0.90"}};
    const QString v = shownAs.value(version);
    const bool asks = icon != QMessageBox::Critical;
    checkBox(box, QStringLiteral("バージョンの確認"),
             QStringLiteral("vokl.dll とバージョンが異なります\n\n     VOK.EXE     : 1.10\n     VOKL.DLL    : ") + v +
                 QStringLiteral("\n\n") + tail,
             QMessageBox::Icon(icon), asks ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    if (icon == QMessageBox::Warning) QCOMPARE(box.defaultButton, QMessageBox::Yes);
}

void tst_rundriver::missingConversionExport_data() {
    QTest::addColumn<int>("tab");
    for (int tab = 1; tab <= 3; ++tab) QTest::addRow("tab%d", tab) << tab;
}

void tst_rundriver::missingConversionExport() {
    QFETCH(int, tab);
    Harness h;
    frmVokl& w = h.load();
    ready(w, tab);
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
    checkBox(h.messages.calls[0], QStringLiteral("エラーの確認"), QStringLiteral("libvokl.so: cannot open shared object file"),
             QMessageBox::Critical, QMessageBox::Ok);
    QVERIFY(!w.isBusy());
    QVERIFY(w.cmdOk->isEnabled());
    QCOMPARE(w.cursor().shape(), Qt::ArrowCursor);
}

// Every failure code on every tab: its text where it is expected, the
// program-error text elsewhere; successes delete the log, failures show it.
void tst_rundriver::resultCodes_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dialog");
    struct Failure {
        int code;
        const char* tabs;
        const char* text;
    };
    const Failure failures[] = {
        {-1, "12", "一部のコードで変換エラーが発生しました"},
        {-2, "2", "レコードパターンの記述に誤りがあります"},
        {-3, "3", "コピー句が解析できません"},
        {-4, "3", "パターンファイルの作成が終了しました(ただし未サポート項目が含まれています)"},
        {-5, "", ""},
        {-10, "12", "シフトJISファイルがオープン出来ません"},
        {-11, "12", "JEFファイルがオープン出来ません"},
        {-12, "23", "パターンファイルがオープン出来ません"},
        {-13, "3", "コピー句ファイルがオープン出来ません"},
        {-15, "1", "シフトJISファイルにデータがありません"},
        {-16, "2", "JEFファイルにデータがありません"},
        {-17, "2", "パターンファイルにデータがありません"},
        {-18, "3", "コピー句ファイルにデータがありません"},
        {-20, "1", "シフトJISファイルの読み込みが出来ません"},
        {-21, "2", "JEFファイルの読み込みが出来ません"},
        {-22, "2", "パターンファイルの読み込みが出来ません"},
        {-25, "2", "シフトJISファイルへの書き込みが出来ません"},
        {-26, "1", "JEFファイルへの書き込みが出来ません"},
        {-27, "3", "パターンファイルへの書き込みが出来ません"},
        {-30, "123", "メモリが不足しています"},
        {-31, "123", "作業用ファイルがオープン出来ません"},
        {-99, "", ""},
    };
    for (int tab = 1; tab <= 3; ++tab)
        for (const Failure& f : failures) {
            const bool listed = std::strchr(f.tabs, '0' + tab) != nullptr;
            QTest::addRow("tab%d %d", tab, f.code)
                << tab << f.code
                << (listed ? QString::fromUtf8(f.text) : QStringLiteral("プログラムエラーが発生しました(%1)").arg(f.code))
                << true;
        }
    QTest::newRow("tab1 12") << 1 << 12 << "コード変換が終了しました(レコード=12件)" << false;
    QTest::newRow("tab2 1") << 2 << 1 << "コード変換が終了しました(レコード=1件)" << false;
    QTest::newRow("tab1 0") << 1 << 0 << "コード変換が終了しました" << false;
    QTest::newRow("tab2 0") << 2 << 0 << "コード変換が終了しました" << false;
    QTest::newRow("tab3 96") << 3 << 96 << "パターンファイルの作成が終了しました(レコードサイズ=96)" << false;
    QTest::newRow("tab3 0") << 3 << 0 << "プログラムエラーが発生しました(0)" << true;
}

void tst_rundriver::resultCodes() {
    QFETCH(int, tab);
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(bool, dialog);
    Harness h;
    frmVokl& w = h.load();
    ready(w, tab);
    h.fakeLibrary.result = code;
    w.cmdOk->click();
    QCOMPARE(h.fakeLibrary.calls.size(), 1);
    QCOMPARE(w.lblMsg->text(), text);
    QCOMPARE(h.dialogs.errors.size(), dialog ? 1 : 0);
    QVERIFY(!w.sErrLog.isEmpty());
    QCOMPARE(QFile::exists(w.sErrLog), dialog);
    if (dialog) QCOMPARE(h.dialogs.errors[0].logPath, w.sErrLog);
    QVERIFY(!w.isBusy());
    QVERIFY(h.messages.calls.isEmpty());
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

// Started with Enter from a path box, which has the focus again afterwards.
void tst_rundriver::busyWhileCallingAndShowingLog() {
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    ready(w, 1);
    h.fakeLibrary.result = -1;
    w.lblMsg->setText(QStringLiteral("old"));
    w.txt1_Jefp->setFocus();
    QTest::keyClick(w.txt1_Jefp, Qt::Key_Return);
    QCOMPARE(h.fakeLibrary.calls.size(), 1);
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
    QCOMPARE(QApplication::focusWidget(), w.txt1_Jefp);
}

void tst_rundriver::noTemporaryFile() {
    Harness h;
    frmVokl& w = h.load();
    ready(w, 1);
    qputenv("TMPDIR", QFile::encodeName(temp_.filePath(QStringLiteral("none"))));
    w.cmdOk->click();
    QCOMPARE(h.messages.calls.size(), 1);
    checkBox(h.messages.calls[0], QStringLiteral("エラー"), QStringLiteral("一時ファイルが作成できませんでした"),
             QMessageBox::Warning, QMessageBox::Ok);
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
    QTest::newRow("left and right, kanji off") << true << "0110" << 6;
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

// "終了(&X)" and closing the window delete the last log unless Ctrl is held.
void tst_rundriver::leavingDeletesLogUnlessCtrl_data() {
    QTest::addColumn<bool>("cancel");  // else the window is closed
    QTest::addColumn<bool>("ctrl");
    QTest::newRow("cancel") << true << false;
    QTest::newRow("cancel with Ctrl") << true << true;
    QTest::newRow("close") << false << false;
    QTest::newRow("close with Ctrl") << false << true;
}

void tst_rundriver::leavingDeletesLogUnlessCtrl() {
    QFETCH(bool, cancel);
    QFETCH(bool, ctrl);
    {
        Harness h;  // before any run: nothing to delete
        h.load();
        if (cancel) h.window->cmdCancel->click();
        QVERIFY(cancel ? h.app.quits == 1 : h.window->close());
    }
    Harness h;
    frmVokl& w = h.load();
    QVERIFY(h.showActive());
    ready(w, 1);
    h.fakeLibrary.result = -1;
    w.cmdOk->click();
    const QString log = w.sErrLog;
    QVERIFY(QFile::exists(log));
    if (ctrl) QTest::keyPress(w.cmdCancel, Qt::Key_Control, Qt::ControlModifier);
    if (cancel) {
        w.cmdCancel->click();
        QCOMPARE(h.app.quits, 1);
    } else {
        w.close();
    }
    QCOMPARE(QFile::exists(log), ctrl);
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
