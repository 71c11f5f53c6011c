// The error dialog: the log shown line by line with CR LF, Japanese paths
// intact, the fallback text, and a text box that only navigation and copying
// get through to.
#include "dlgError.h"

#include "testutil.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QtTest>

namespace {

const QString kFallback =
    QStringLiteral("エラー情報ファイルが見つかりません\r\nvokl.dllのバージョンが古い可能性があります");

QPlainTextEdit* textBox(const dlgError& dlg) { return dlg.findChild<QPlainTextEdit*>(QStringLiteral("txtError")); }

QString q(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

class tst_dlgError : public QObject {
    Q_OBJECT

private slots:
    // The log as the library writes it: Shift-JIS lines ending in CR LF, and
    // the run's paths as the bytes it was given (UTF-8 here). The decoding
    // itself is checked in logText_test; here, what the dialog makes of it.
    void logText_data() {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<QString>("shown");
        const std::string path = "/home/山田/データ/売上.txt";
        const std::string logged = testutil::sjis("[") + path + testutil::sjis("]のファイルサイズが 0 です") + "\r\n";
        QTest::newRow("path with a Japanese folder")
            << QByteArray::fromStdString(logged)
            << QStringLiteral("[%1]のファイルサイズが 0 です\r\n").arg(q(path));
        QTest::newRow("last line without its end")
            << QByteArray::fromStdString(testutil::sjis("一行目\r\n末尾"))
            << QStringLiteral("一行目\r\n末尾\r\n");
        QTest::newRow("blank lines kept") << QByteArray("a\r\n\r\n\r\nb\r\n") << QStringLiteral("a\r\n\r\n\r\nb\r\n");
        QTest::newRow("LF only lines") << QByteArray("a\nb\n") << QStringLiteral("a\r\nb\r\n");
        // -31: the library could not write its log, so it is empty.
        QTest::newRow("empty log") << QByteArray() << QString();
    }
    void logText() {
        QFETCH(QByteArray, log);
        QFETCH(QString, shown);
        testutil::TempDir dir;
        const std::string path = dir.file("vokAB12.tmp");
        testutil::writeFile(path, log.toStdString());
        const std::vector<std::string> runPaths = {"/home/山田/データ/売上.txt", dir.file("out.bin"), path};
        QCOMPARE(dlgError::logText(q(path), runPaths), shown);
        dlgError dlg(q(path), runPaths);
        QString inBox = shown;
        inBox.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(textBox(dlg)->toPlainText(), inBox);
    }

    void missingLogShowsFallback_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("deleted file") << "vokGone.tmp";
        QTest::newRow("folder") << "";
        QTest::newRow("Japanese name") << "ログ.tmp";
    }
    void missingLogShowsFallback() {
        QFETCH(QString, name);
        testutil::TempDir dir;
        const QString path = q(dir.path().string()) + QLatin1Char('/') + name;
        QCOMPARE(dlgError::logText(path, {}), kFallback);
        dlgError dlg(path, {});
        QCOMPARE(textBox(dlg)->toPlainText(), QString(kFallback).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    }

    void captionButtonAndLook() {
        dlgError dlg(QStringLiteral("/nonexistent/vok.tmp"), {});
        QCOMPARE(dlg.windowTitle(), QStringLiteral("エラー情報の確認"));
        auto* ok = dlg.findChild<QPushButton*>(QStringLiteral("cmdOk"));
        QVERIFY(ok != nullptr);
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QVERIFY(ok->isDefault());
        QPlainTextEdit* box = textBox(dlg);
        QCOMPARE(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(box->palette().color(QPalette::Base), dlg.palette().color(QPalette::Button));
        QCOMPARE(box->palette().color(QPalette::Text), QColor(Qt::black));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QVERIFY(ok->y() > box->geometry().bottom());
        QVERIFY(qAbs(ok->geometry().center().x() - box->geometry().center().x()) <= 1);
        QVERIFY(dlg.rect().contains(ok->geometry()));
    }

    // Keys that must change nothing, and keys that must still work.
    void keyboardCannotChangeTheText_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("letter") << int(Qt::Key_A) << int(Qt::NoModifier);
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << int(Qt::NoModifier);
        QTest::newRow("Delete") << int(Qt::Key_Delete) << int(Qt::NoModifier);
        QTest::newRow("Ctrl+V") << int(Qt::Key_V) << int(Qt::ControlModifier);
        QTest::newRow("Ctrl+X") << int(Qt::Key_X) << int(Qt::ControlModifier);
        QTest::newRow("Shift+Insert") << int(Qt::Key_Insert) << int(Qt::ShiftModifier);
        QTest::newRow("Ctrl+Z") << int(Qt::Key_Z) << int(Qt::ControlModifier);
        QTest::newRow("space") << int(Qt::Key_Space) << int(Qt::NoModifier);
    }
    void keyboardCannotChangeTheText() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        testutil::TempDir dir;
        const std::string path = dir.file("vok.tmp");
        testutil::writeFile(path, testutil::logLines("一行目\n二行目\n三行目\n"));
        QGuiApplication::clipboard()->setText(QStringLiteral("貼り付け"));
        dlgError dlg(q(path), {path});
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QPlainTextEdit* box = textBox(dlg);
        box->selectAll();
        const QString before = box->toPlainText();
        QTest::keyClick(box, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(box->toPlainText(), before);
        QVERIFY(dlg.isVisible());
    }

    // The caret moves with the arrows, past the last line (the text ends in a
    // line end), and a selection is copied with Ctrl+C.
    void navigationAndCopy() {
        testutil::TempDir dir;
        const std::string path = dir.file("vok.tmp");
        testutil::writeFile(path, testutil::logLines("一行目\n二行目\n三行目\n"));
        dlgError dlg(q(path), {path});
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QPlainTextEdit* box = textBox(dlg);
        box->setFocus();
        QCOMPARE(box->textCursor().blockNumber(), 0);
        for (int i = 0; i < 3; ++i) QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->textCursor().blockNumber(), 3);
        QCOMPARE(box->textCursor().block().text(), QString());
        QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(box->textCursor().position(), 0);
        QTest::keyClick(box, Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(box, Qt::Key_End, Qt::ShiftModifier);
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("一行目\n二行目"));
        QTest::keyClick(box, Qt::Key_PageDown);
        QCOMPARE(box->textCursor().blockNumber(), 3);
    }

    // OK by mouse or by Enter in the text closes it, also over the main
    // window, which the run keeps disabled while the dialog is open.
    void closesWithOk_data() {
        QTest::addColumn<bool>("enter");
        QTest::newRow("click") << false;
        QTest::newRow("Enter") << true;
    }
    void closesWithOk() {
        QFETCH(bool, enter);
        QWidget mainWindow;
        mainWindow.show();
        mainWindow.setEnabled(false);
        dlgError dlg(QStringLiteral("/nonexistent/vok.tmp"), {}, &mainWindow);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QVERIFY(dlg.isEnabled());
        if (enter) {
            textBox(dlg)->setFocus();
            QTest::keyClick(textBox(dlg), Qt::Key_Return);
        } else {
            QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("cmdOk")), Qt::LeftButton);
        }
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    // Each showing reads the log afresh.
    void newInstanceReadsTheLogAgain() {
        testutil::TempDir dir;
        const std::string path = dir.file("vok.tmp");
        testutil::writeFile(path, std::string("first\r\n"));
        QCOMPARE(dlgError::logText(q(path), {}), QStringLiteral("first\r\n"));
        testutil::writeFile(path, std::string("second\r\n"));
        dlgError dlg(q(path), {});
        QCOMPARE(textBox(dlg)->toPlainText(), QStringLiteral("second\n"));
    }
};

QTEST_MAIN(tst_dlgError)
#include "tst_dlgError.moc"
