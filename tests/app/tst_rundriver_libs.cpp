// The run end to end through the library binding: the real libvokl on real
// files in a Japanese folder, and a stand-in library for the arguments and the
// log as they cross the boundary. Versions, missing exports and a missing
// library are covered by tst_rundriver (the run) and tst_voklLibrary (the binding).
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "fakeServices.h"
#include "testutil.h"
#include "voklLibrary.h"

namespace {

const QString kRealLib = QStringLiteral(VOK_REAL_LIB_DIR "/libvokl.so");
QString fakeLib(const char* name) { return QStringLiteral(VOK_FAKELIB_DIR "/libvokl_%1.so").arg(QLatin1String(name)); }

QByteArray sjis(const char* utf8) { return QByteArray::fromStdString(testutil::sjis(utf8)); }

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

class tst_rundriver_libs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void realTab1InJapaneseFolder();
    void realTab2BackToText();
    void realTab3PatternFromCopybook();
    void realFailureShowsTheLog();
    void argumentsAcrossTheBoundary();

private:
    QTemporaryDir root_;
    QString dir_;  // a folder with a Japanese name and a blank
    QString path(const QString& name) const { return dir_ + '/' + name; }
};

void tst_rundriver_libs::initTestCase() {
    QVERIFY(QFile::exists(kRealLib));
    dir_ = root_.filePath(QStringLiteral("データ 受信"));
    QVERIFY(QDir().mkpath(dir_));
}

void tst_rundriver_libs::cleanup() {
    for (const char* name : {"VOK_FAKE_CALLS", "VOK_FAKE_RESULT", "VOK_FAKE_LOG"}) qunsetenv(name);
    for (const QString& f : QDir(dir_).entryList(QDir::Files)) QFile::remove(path(f));
}

void tst_rundriver_libs::realTab1InJapaneseFolder() {
    VoklLibrary library(kRealLib);
    Harness h(&library);
    frmVokl& w = h.load();
    write(path(QStringLiteral("売上.txt")), sjis("ABCｱｲｳ漢字\r\nDEF\r\n"));
    // Dropped from a file manager: the output name is proposed.
    dropFiles(w.txt1_Sjsp, {path(QStringLiteral("売上.txt"))});
    QCOMPARE(w.txt1_Jefp->text(), path(QStringLiteral("売上.bin")));
    w.opt1_1->setChecked(true);
    w.cmdOk->click();
    QCOMPARE(w.lblMsg->text(), QStringLiteral("コード変換が終了しました(レコード=2件)"));
    QVERIFY(h.messages.calls.isEmpty());
    QVERIFY(h.dialogs.errors.isEmpty());
    QVERIFY(!QFile::exists(w.sErrLog));
    // "ABC" and "DEF" in EBCDIC, half-width kana and two JEF kanji.
    const QByteArray jef = readAll(path(QStringLiteral("売上.bin")));
    QCOMPARE(jef.size(), 3 + 3 + 4 + 3);
    QCOMPARE(jef.left(3), QByteArray("\xC1\xC2\xC3"));
    QCOMPARE(jef.right(3), QByteArray("\xC4\xC5\xC6"));
    // A second run over the same output asks first.
    h.messages.answers << QMessageBox::No;
    w.cmdOk->click();
    QCOMPARE(h.messages.calls.size(), 1);
    QCOMPARE(h.messages.calls[0].title, QStringLiteral("上書きの確認"));
}

void tst_rundriver_libs::realTab2BackToText() {
    VoklLibrary library(kRealLib);
    Harness h(&library);
    frmVokl& w = h.load();
    // To the host with shift codes, then back as a stream.
    write(path(QStringLiteral("往復.txt")), sjis("漢字ABC"));
    fillTab(w, 1, path(QStringLiteral("往復.txt")), path(QStringLiteral("往復.bin")));
    w.opt1_1->setChecked(true);
    w.chk1_2->setChecked(true);
    w.cmdOk->click();
    QCOMPARE(w.lblMsg->text(), QStringLiteral("コード変換が終了しました"));
    fillTab(w, 2, path(QStringLiteral("往復.bin")), path(QStringLiteral("戻り.txt")));
    w.opt2_1->setChecked(true);
    QVERIFY(w.cmdOk->isEnabled());
    w.cmdOk->click();
    QVERIFY2(w.lblMsg->text().startsWith(QStringLiteral("コード変換が終了しました")), qPrintable(w.lblMsg->text()));
    QVERIFY(h.dialogs.errors.isEmpty());
    QCOMPARE(readAll(path(QStringLiteral("戻り.txt"))), sjis("漢字ABC"));
    QVERIFY(!QFile::exists(w.sErrLog));
    // Nothing went wrong, so no conversion-error log stays.
    QVERIFY(QDir(h.programDir.path()).entryList({"VOK_LOG_*"}).isEmpty());
}

void tst_rundriver_libs::realTab3PatternFromCopybook() {
    VoklLibrary library(kRealLib);
    Harness h(&library);
    frmVokl& w = h.load();
    write(path(QStringLiteral("顧客.cbl")), "01 R.\n05 A PIC X(3).\n05 B PIC 9(2).\n");
    fillTab(w, 3, path(QStringLiteral("顧客.cbl")), path(QStringLiteral("顧客.ptn")));
    w.chk3_1->setChecked(true);
    w.opt3_1->setChecked(true);
    w.cmdOk->click();
    QCOMPARE(w.lblMsg->text(), QStringLiteral("パターンファイルの作成が終了しました(レコードサイズ=5)"));
    QCOMPARE(readAll(path(QStringLiteral("顧客.ptn"))), QByteArray("XXX,99\r\n"));
    QVERIFY(h.dialogs.errors.isEmpty());
    // The pattern just written gives tab 2 its record length.
    w.tabRTF->setCurrentIndex(1);
    w.chk2_3->setChecked(true);
    w.txt2_Ptnp->setText(path(QStringLiteral("顧客.ptn")));
    QCOMPARE(w.txt2_RecSize->text(), QStringLiteral("5"));
}

void tst_rundriver_libs::realFailureShowsTheLog() {
    VoklLibrary library(kRealLib);
    Harness h(&library);
    frmVokl& w = h.load();
    write(path(QStringLiteral("壊れ.cbl")), "01 R.\n05 A PIC Q(3).\n");
    fillTab(w, 3, path(QStringLiteral("壊れ.cbl")), path(QStringLiteral("壊れ.ptn")));
    w.cmdOk->click();
    QCOMPARE(h.dialogs.errors.size(), 1);
    QVERIFY(w.lblMsg->text() == QStringLiteral("コピー句が解析できません") ||
            w.lblMsg->text().startsWith(QStringLiteral("パターンファイルの作成が終了しました")));
    QVERIFY(!h.dialogs.errors[0].logBytes.isEmpty());
    QVERIFY(QFile::exists(w.sErrLog));
    QVERIFY(!w.isBusy());
    QFile::remove(w.sErrLog);
}

void tst_rundriver_libs::argumentsAcrossTheBoundary() {
    VoklLibrary library(fakeLib("v110"));
    Harness h(&library);
    frmVokl& w = h.load();
    const QString calls = root_.filePath(QStringLiteral("calls.txt"));
    QFile::remove(calls);
    qputenv("VOK_FAKE_CALLS", QFile::encodeName(calls));
    qputenv("VOK_FAKE_RESULT", "-1");
    qputenv("VOK_FAKE_LOG", sjis("変換できない文字があります"));
    write(path(QStringLiteral("受信.bin")), "XX");
    write(path(QStringLiteral("受信.ptn")), "XX\n");
    fillTab(w, 2, path(QStringLiteral("受信.bin")), path(QStringLiteral("受信.txt")));
    w.chk2_3->setChecked(true);
    w.txt2_Ptnp->setText(path(QStringLiteral("受信.ptn")));
    w.opt2_1->setChecked(true);
    w.cmdOk->click();
    const QByteArray expected = "voklVersion\nj2sconv|1|1|0|0|0|" + QFile::encodeName(path(QStringLiteral("受信.bin"))) +
                                "|" + QFile::encodeName(path(QStringLiteral("受信.txt"))) + "|" +
                                QFile::encodeName(path(QStringLiteral("受信.ptn"))) + "|" + QFile::encodeName(w.sErrLog) +
                                "|" + QFile::encodeName(h.programDir.path()) + "/VOK_LOG_20260102_030405.txt\n";
    QCOMPARE(readAll(calls), expected);
    QCOMPARE(w.lblMsg->text(), QStringLiteral("一部のコードで変換エラーが発生しました"));
    QCOMPARE(h.dialogs.errors.size(), 1);
    QCOMPARE(h.dialogs.errors[0].logBytes, sjis("変換できない文字があります") + "\r\n");
    QCOMPARE(h.dialogs.errors[0].runPaths.at(0), QFile::encodeName(path(QStringLiteral("受信.bin"))).toStdString());
    QFile::remove(w.sErrLog);
}

QTEST_MAIN(tst_rundriver_libs)
#include "tst_rundriver_libs.moc"
