// File checks, the file dialog's settings, and the run's log files. The
// overwrite question, a missing temporary folder and the conversion-error log
// name are checked through the window (tst_frmVokl_paths, tst_rundriver).
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>
#include <sys/stat.h>

#include "fakeServices.h"
#include "mdCmDlgOpen.h"
#include "modFilechk.h"
#include "modVokCom.h"

class tst_modFilechk : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void chkInFile_data();
    void chkInFile();
    void chkOutFile_data();
    void chkOutFile();
    void chkOutFileRelativeName();
    void sizes();
    void dialogSettings();
    void tempLog();
    void convLogNameUnwritableProgramFolder();

private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.path() + '/' + name; }
};

void tst_modFilechk::initTestCase() {
    QVERIFY(dir_.isValid());
    QDir(dir_.path()).mkpath(QStringLiteral("データ/sub"));
    QFile f(path(QStringLiteral("データ/売上.txt")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("abc");
    f.close();
    QFile hidden(path(QStringLiteral(".hidden")));
    QVERIFY(hidden.open(QIODevice::WriteOnly));
    hidden.close();
    QVERIFY(mkfifo(QFile::encodeName(path(QStringLiteral("pipe"))).constData(), 0600) == 0);
}

void tst_modFilechk::chkInFile_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("result");
    QTest::newRow("file") << "データ/売上.txt" << 0;
    QTest::newRow("hidden file") << ".hidden" << 0;
    QTest::newRow("missing") << "データ/none.txt" << 1;
    QTest::newRow("missing folder on the way") << "none/a.txt" << 1;
    QTest::newRow("folder") << "データ/sub" << 2;
    QTest::newRow("ends in separator") << "データ/sub/" << 2;
    QTest::newRow("missing but ends in separator") << "none/" << 2;
    QTest::newRow("pipe, which would block the library") << "pipe" << 1;
}

void tst_modFilechk::chkInFile() {
    QFETCH(QString, name);
    QFETCH(int, result);
    QCOMPARE(int(vok::ChkInFile(path(name))), result);
}

void tst_modFilechk::chkOutFile_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("result");
    QTest::newRow("new file") << "データ/new.bin" << 0;
    QTest::newRow("folder") << "データ/sub" << 2;
    QTest::newRow("folder with separator") << "データ/sub/" << 2;
    QTest::newRow("missing folder") << "none/new.bin" << 3;
    QTest::newRow("folder part is a file") << "データ/売上.txt/x.bin" << 3;
}

void tst_modFilechk::chkOutFile() {
    QFETCH(QString, name);
    QFETCH(int, result);
    FakeMessages messages;
    QCOMPARE(int(vok::ChkOutFile(path(name), messages, nullptr)), result);
    QVERIFY(messages.calls.isEmpty());
}

// A name without a folder lies in the current folder.
void tst_modFilechk::chkOutFileRelativeName() {
    const QString previous = QDir::currentPath();
    QDir::setCurrent(path(QStringLiteral("データ")));
    FakeMessages relative;
    QCOMPARE(int(vok::ChkOutFile(QStringLiteral("売上.txt"), relative, nullptr)), 0);
    QCOMPARE(int(vok::ChkOutFile(QStringLiteral("new.txt"), relative, nullptr)), 0);
    QCOMPARE(relative.calls.size(), 1);  // asked for the existing file only
    QDir::setCurrent(previous);
}

void tst_modFilechk::sizes() {
    QCOMPARE(vok::fileSize(path(QStringLiteral("データ/売上.txt"))), qint64(3));
    QCOMPARE(vok::fileSize(path(QStringLiteral(".hidden"))), qint64(0));
    QCOMPARE(vok::fileSize(path(QStringLiteral("none"))), qint64(-1));
    const QString a = path(QStringLiteral("データ/売上.txt"));
    QVERIFY(vok::sameExistingFile(a, path(QStringLiteral("データ/../データ/売上.txt"))));
    QVERIFY(!vok::sameExistingFile(a, path(QStringLiteral(".hidden"))));
    QVERIFY(!vok::sameExistingFile(a, path(QStringLiteral("none"))));
}

void tst_modFilechk::dialogSettings() {
    const QString folder = path(QStringLiteral("データ"));
    auto open = vok::makeFileDialog(nullptr, vok::kBinaryFileList, vok::DlgKind::Open, folder);
    QCOMPARE(open->windowTitle(), QStringLiteral("ファイルを開く"));
    QCOMPARE(open->nameFilters(), (QStringList{QStringLiteral("ﾊﾞｲﾅﾘﾌｧｲﾙ(*.bin)"), QStringLiteral("ﾃｷｽﾄﾌｧｲﾙ(*.txt)"),
                                               QStringLiteral("全てのﾌｧｲﾙ(*.*)")}));
    QCOMPARE(open->selectedNameFilter(), QStringLiteral("ﾊﾞｲﾅﾘﾌｧｲﾙ(*.bin)"));
    QCOMPARE(open->acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(open->fileMode(), QFileDialog::ExistingFile);
    QCOMPARE(QDir(open->directory()).canonicalPath(), QDir(folder).canonicalPath());
    auto save = vok::makeFileDialog(nullptr, vok::kPatternFileList, vok::DlgKind::Save, folder);
    QCOMPARE(save->windowTitle(), QStringLiteral("ファイルを開く"));
    QCOMPARE(save->acceptMode(), QFileDialog::AcceptSave);
    QVERIFY(!save->testOption(QFileDialog::DontConfirmOverwrite));
}

void tst_modFilechk::tempLog() {
    const QString a = vok::GetTempLog();
    const QString b = vok::GetTempLog();
    QVERIFY(!a.isEmpty());
    QVERIFY(a != b);
    for (const QString& log : {a, b}) {
        const QFileInfo info(log);
        QVERIFY(info.isFile());
        QCOMPARE(info.size(), qint64(0));
        QVERIFY(info.fileName().startsWith(QStringLiteral("vok")));
        QCOMPARE(QDir(info.path()).canonicalPath(), QDir(QDir::tempPath()).canonicalPath());
        QVERIFY(QFile::remove(log));
    }
}

void tst_modFilechk::convLogNameUnwritableProgramFolder() {
    const QDateTime when(QDate(2026, 3, 4), QTime(1, 2, 3));
    const QByteArray previous = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("data home"))));
    const QString name = vok::GetConvLogName(path(QStringLiteral("gone")), when);
    if (previous.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", previous);
    QVERIFY(name.startsWith(path(QStringLiteral("data home/"))));
    QVERIFY(name.endsWith(QStringLiteral("/VOK_LOG_20260304_010203.txt")));
    QVERIFY(!name.startsWith(path(QStringLiteral("gone"))));
    QVERIFY(QFileInfo(QFileInfo(name).path()).isDir());
}

QTEST_MAIN(tst_modFilechk)
#include "tst_modFilechk.moc"
