// The help call: a missing manual shows nothing and yields -1; a present one
// opens the viewer with its contents and index.
#include "modCmShowHelp.h"

#include "testutil.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QtTest>

namespace {

const QString kShippedManual =
    QFileInfo(QStringLiteral(__FILE__)).dir().filePath(QStringLiteral("../../app/vok.hlp"));

const char* const kSmallManual =
    "<html><head><meta charset=\"utf-8\"><title>テストの手引き</title></head><body>"
    "<h1>はじめに</h1><p>本文</p>"
    "<h2>変換</h2><p><a name=\"idx:シフトコード\">シフトコード</a>の説明</p>"
    "<h3>オプション</h3><p>詳細</p>"
    "<h2>結果</h2><p><a name=\"idx:エラー\">エラー</a></p>"
    "</body></html>";

QList<QWidget*> viewers() {
    QList<QWidget*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("vokHelpViewer") && !w->testAttribute(Qt::WA_WState_Hidden))
            found << w;
    return found;
}

void closeViewers() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("vokHelpViewer")) delete w;
}

QStringList topLevelTexts(const QTreeWidget* tree) {
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) texts << tree->topLevelItem(i)->text(0);
    return texts;
}

}  // namespace

class tst_modCmShowHelp : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { closeViewers(); }

    void unreadableFileShowsNothing_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << "absent.hlp";
        QTest::newRow("folder") << "";
    }
    void unreadableFileShowsNothing() {
        QFETCH(QString, name);
        testutil::TempDir dir;
        const QString path = QDir(QString::fromStdString(dir.path().string())).filePath(name);
        QCOMPARE(CmShowHelp(nullptr, path), -1);
        QVERIFY(viewers().isEmpty());
    }

    void presentFileOpensAtContentsAndIndex() {
        testutil::TempDir dir;
        const std::string path = dir.file("vok.hlp");
        testutil::writeFile(path, std::string(kSmallManual));
        QCOMPARE(CmShowHelp(nullptr, QString::fromStdString(path)), 0);
        QCOMPARE(viewers().size(), 1);
        QWidget* viewer = viewers().first();
        QVERIFY(QTest::qWaitForWindowExposed(viewer));
        QCOMPARE(viewer->windowTitle(), QStringLiteral("テストの手引き"));

        auto* contents = viewer->findChild<QTreeWidget*>(QStringLiteral("contents"));
        QVERIFY(contents != nullptr && contents->isVisible());
        QCOMPARE(topLevelTexts(contents), QStringList{QStringLiteral("はじめに")});
        QTreeWidgetItem* intro = contents->topLevelItem(0);
        QCOMPARE(intro->childCount(), 2);
        QCOMPARE(intro->child(0)->text(0), QStringLiteral("変換"));
        QCOMPARE(intro->child(0)->child(0)->text(0), QStringLiteral("オプション"));
        QCOMPARE(intro->child(1)->text(0), QStringLiteral("結果"));

        auto* index = viewer->findChild<QListWidget*>(QStringLiteral("index"));
        QVERIFY(index != nullptr);
        QCOMPARE(index->count(), 2);

        // Choosing an entry moves the text to that heading.
        auto* text = viewer->findChild<QTextBrowser*>(QStringLiteral("helpText"));
        emit contents->itemClicked(intro->child(1), 0);
        QCOMPARE(text->textCursor().block().text(), QStringLiteral("結果"));
        emit index->itemClicked(index->findItems(QStringLiteral("シフトコード"), Qt::MatchExactly).value(0));
        QVERIFY(text->textCursor().block().text().contains(QStringLiteral("シフトコード")));

        // A second call reuses the viewer.
        QCOMPARE(CmShowHelp(nullptr, QString::fromStdString(path)), 0);
        QCOMPARE(viewers().size(), 1);
    }

    // The manual shipped with the program has the sections a user looks for.
    void shippedManualHasItsContents() {
        QCOMPARE(CmShowHelp(nullptr, kShippedManual), 0);
        QCOMPARE(viewers().size(), 1);
        QWidget* viewer = viewers().first();
        auto* contents = viewer->findChild<QTreeWidget*>(QStringLiteral("contents"));
        QStringList all;
        for (QTreeWidgetItemIterator it(contents); *it; ++it) all << (*it)->text(0);
        for (const char* section : {"シフトJIS->JEF変換", "JEF->シフトJIS変換", "レコードパターン作成",
                                    "レコードパターンの書き方", "処理結果のメッセージ"})
            QVERIFY2(all.contains(QString::fromUtf8(section)), section);
        auto* text = viewer->findChild<QTextBrowser*>(QStringLiteral("helpText"));
        const QString plain = text->toPlainText();
        for (const char* message : {"コード変換が終了しました(レコード=n件)", "作業用ファイルがオープン出来ません",
                                    "パターンファイルの作成が終了しました(ただし未サポート項目が含まれています)"})
            QVERIFY2(plain.contains(QString::fromUtf8(message)), message);
        QVERIFY(viewer->findChild<QListWidget*>(QStringLiteral("index"))->count() > 10);
        // Closing the main window must still end the program while the manual is open.
        QVERIFY(!viewer->testAttribute(Qt::WA_QuitOnClose));
    }

    // Beside the program in the build tree, in share/vok when installed; a
    // missing manual is named where it is looked for first.
    void helpFileBesideOrInstalled_data() {
        QTest::addColumn<bool>("beside");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("expectInstalled");
        QTest::newRow("build tree") << true << false << false;
        QTest::newRow("installed") << false << true << true;
        QTest::newRow("both") << true << true << false;
        QTest::newRow("neither") << false << false << false;
    }
    void helpFileBesideOrInstalled() {
        QFETCH(bool, beside);
        QFETCH(bool, installed);
        QFETCH(bool, expectInstalled);
        testutil::TempDir dir;
        const QDir root(QString::fromStdString(dir.path().string()));
        const QString programDir = root.filePath(QStringLiteral("bin"));
        const QString besidePath = QDir(programDir).filePath(QStringLiteral("vok.hlp"));
        const QString installedPath =
            QDir::cleanPath(QDir(programDir).filePath(QStringLiteral(VOK_BIN_TO_HELPDIR "/vok.hlp")));
        QVERIFY(QDir().mkpath(programDir) && QDir().mkpath(QFileInfo(installedPath).path()));
        if (beside) testutil::writeFile(besidePath.toStdString(), std::string(kSmallManual));
        if (installed) testutil::writeFile(installedPath.toStdString(), std::string(kSmallManual));
        const QString found = FindHelpFile(programDir);
        QCOMPARE(QDir::cleanPath(found), expectInstalled ? installedPath : besidePath);
        if (beside || installed) QCOMPARE(CmShowHelp(nullptr, found), 0);
    }
};

QTEST_MAIN(tst_modCmShowHelp)
#include "tst_modCmShowHelp.moc"
