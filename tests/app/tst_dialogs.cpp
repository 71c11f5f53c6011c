// The error dialog, the version dialog, the help viewer and the file dialog.
#include "dlgError.h"
#include "fakeServices.h"
#include "frmVersion.h"
#include "mdCmDlgOpen.h"
#include "modCmShowHelp.h"
#include "testutil.h"

class tst_dialogs : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString log_ = dir_.filePath("vok.tmp");
    static QWidgetList helpViewers() {
        QWidgetList found = QApplication::topLevelWidgets();
        found.removeIf([](QWidget* w) { return w->objectName() != "vokHelpViewer" || !w->isVisible(); });
        return found;
    }

private slots:
    // The log as lines ending in CR LF; its decoding is tested with the toolkit-free code.
    void logText_data() {
        QTest::addColumn<QByteArray>("log");  // "-": no log file; "lines:" the extended interface's lines
        QTest::addColumn<QString>("shown");
        const std::string path = "/home/山田/データ/売上.txt";
        QTest::newRow("the run's path") << QByteArray::fromStdString(testutil::sjis("[") + path + testutil::sjis("]です"))
                                        << QStringLiteral("[%1]です\r\n").arg(QString::fromStdString(path));
        QTest::newRow("every line end") << QByteArray("a\r\n\r\nb\nc\rd\r\n") << "a\r\n\r\nb\r\nc\r\nd\r\n";
        QTest::newRow("no log") << QByteArray("-") << "エラー情報ファイルが見つかりません\r\nvokl.dllのバージョンが古い可能性があります";
        QTest::newRow("lines handed out") << QByteArray("lines:原因=読み取れません/𠮷野.txt") << "原因=読み取れません\r\n𠮷野.txt\r\n";
        QTest::newRow("no lines handed out") << QByteArray("lines:") << "";
    }
    void logText() {
        QFETCH(QByteArray, log);
        QFETCH(QString, shown);
        QFile::remove(log_);
        if (log != "-") QVERIFY(writeFile(log_, log));
        vok::ErrorLog errorLog{log_, {"/home/山田/データ/売上.txt", log_.toStdString()}, {}};
        if (log.startsWith("lines:"))
            errorLog.lines = QString::fromUtf8(log.mid(6)).split('/', Qt::SkipEmptyParts);
        QCOMPARE(dlgError::logText(errorLog), shown);
        dlgError dialog(errorLog);
        QCOMPARE(dialog.findChild<QPlainTextEdit*>()->toPlainText(), shown.replace("\r\n", "\n"));
    }

    // Over the disabled main window, only navigation, copying and the dialog's keys work.
    void errorDialogKeys_data() {
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("letter") << QKeySequence("A") << "unchanged";
        QTest::newRow("Ctrl+V") << QKeySequence("Ctrl+V") << "unchanged";
        QTest::newRow("Tab") << QKeySequence("Tab") << "cmdOk";
        QTest::newRow("Enter") << QKeySequence("Return") << "closed";
        QTest::newRow("copy") << QKeySequence("Down, Shift+End, Ctrl+C") << "二行目";
        QTest::newRow("a page down") << QKeySequence("PgDown") << "last line";
    }
    void errorDialogKeys() {
        QFETCH(QKeySequence, keys);
        QFETCH(QString, outcome);
        QVERIFY(writeFile(log_, testutil::logLines("一行目\n二行目\n三\n四\n五\n").c_str()));
        QGuiApplication::clipboard()->setText("貼り付け");
        QWidget mainWindow;
        mainWindow.show();
        mainWindow.setEnabled(false);
        dlgError dialog(vok::ErrorLog{log_, {}, {}}, &mainWindow);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        checkLook(&dialog);
        auto* box = dialog.findChild<QPlainTextEdit*>();
        for (int i = 0; i < keys.count(); ++i) QTest::keySequence(box, keys[i]);
        QCOMPARE(box->toPlainText(), QStringLiteral("一行目\n二行目\n三\n四\n五\n"));
        QCOMPARE(dialog.isVisible(), outcome != "closed");
        if (outcome == "closed") QCOMPARE(dialog.result(), int(QDialog::Accepted));
        if (outcome == "cmdOk") QCOMPARE(QApplication::focusWidget()->objectName(), outcome);
        if (outcome == "二行目") QCOMPARE(QGuiApplication::clipboard()->text(), outcome);
        if (outcome == "last line") QCOMPARE(box->textCursor().blockNumber(), box->blockCount() - 1);
    }

    void versionDialog() {
        frmVersion dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        checkLook(&dialog);
    }

    // Only a file opens; contents are the headings h1 to h3, the index the "idx:" anchors.
    void helpViewer() {
        for (const QString& unfit : {dir_.filePath("absent.hlp"), dir_.path(), QString("/dev/null")})
            QCOMPARE(CmShowHelp(nullptr, unfit), -1);
        QVERIFY(helpViewers().isEmpty());
        const QString manual = dir_.filePath("vok.hlp");
        QVERIFY(writeFile(manual, "<html><head><meta charset=\"utf-8\"><title>手引き</title></head><body><p>前書き</p>"
                                  "<h1>はじめに</h1><h2>変換</h2><p><a name=\"idx:シフト\">シフト</a>の説明</p><h3>細目</h3>"
                                  "<h4>注</h4><h2>結果</h2><p><a name=\"idx:エラー\">エラー</a></p><h1> </h1></body></html>"));
        QCOMPARE(CmShowHelp(nullptr, manual), 0);
        QCOMPARE(CmShowHelp(nullptr, manual), 0);
        QCOMPARE(helpViewers().size(), 1);  // the second call brings the same viewer forward
        QWidget* viewer = helpViewers().first();
        QVERIFY(!viewer->testAttribute(Qt::WA_QuitOnClose));  // the program ends with its main window
        auto* contents = viewer->findChild<QTreeWidget*>();
        QStringList tree;
        for (QTreeWidgetItemIterator it(contents); *it; ++it)
            tree << ((*it)->parent() ? (*it)->parent()->text(0) + ">" : QString()) + (*it)->text(0);
        QCOMPARE(tree, QStringList({"はじめに", "はじめに>変換", "変換>細目", "はじめに>結果"}));
        emit contents->itemClicked(contents->topLevelItem(0)->child(1), 0);
        QCOMPARE(viewer->findChild<QTextBrowser*>()->textCursor().block().text(), QStringLiteral("結果"));
        emit viewer->findChild<QListWidget*>()->itemClicked(viewer->findChild<QListWidget*>()->item(0));
        QCOMPARE(viewer->findChild<QTextBrowser*>()->textCursor().block().text(), QStringLiteral("エラー"));
        qDeleteAll(helpViewers());
        // Beside the program in the build tree, in share/vok when installed;
        // a missing manual is named where it is looked for first.
        const QString programDir = dir_.filePath("bin"), beside = programDir + "/vok.hlp";
        const QString installed = QDir::cleanPath(programDir + "/" VOK_BIN_TO_HELPDIR "/vok.hlp");
        QVERIFY(QDir().mkpath(programDir) && QDir().mkpath(QFileInfo(installed).path()));
        QCOMPARE(FindHelpFile(programDir), beside);
        QVERIFY(writeFile(installed, "<html></html>"));
        QCOMPARE(QDir::cleanPath(FindHelpFile(programDir)), installed);
        QVERIFY(writeFile(beside, "<html></html>"));
        QCOMPARE(FindHelpFile(programDir), beside);
    }

    // Qt's own texts in Japanese; every column as wide as its contents, also after an
    // earlier dialog left narrow columns in Qt's settings.
    void fileDialogSettings() {
        QVERIFY(vok::installQtTranslations(*qApp));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
        {
            QFileDialog earlier;
            for (int column = 0; column < 4; ++column) earlier.findChild<QTreeView*>("treeView")->header()->resizeSection(column, 20);
        }
        auto open = vok::makeFileDialog(nullptr, vok::kBinaryFileList, vok::DlgKind::Open, dir_.path());
        open->show();
        QVERIFY(QTest::qWaitForWindowExposed(open.get()));
        QCOMPARE(open->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
        // A long size ("286.10 MiB") and a long type ("平文テキストドキュメント").
        QVERIFY(writeFile(dir_.filePath("a.txt"), "") && QFile::resize(dir_.filePath("a.txt"), 300'000'123));
        open->selectNameFilter(vok::kBinaryFileList.section('|', 2));
        const QAbstractItemView* view = open->findChild<QTreeView*>("treeView");
        QTRY_VERIFY(view->model()->rowCount(view->rootIndex()) > 0);
        const QHeaderView* header = open->findChild<QTreeView*>("treeView")->header();
        for (int column = 1; column < header->count(); ++column)
            QVERIFY2(header->sectionSize(column) >= std::max(view->sizeHintForColumn(column), header->sectionSizeHint(column)),
                     qPrintable(QString::number(column)));
        QCOMPARE(open->nameFilters(), vok::kBinaryFileList.split('|'));
        QCOMPARE(open->acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(open->fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(QDir(open->directory()).canonicalPath(), QDir(dir_.path()).canonicalPath());
        QCOMPARE(vok::makeFileDialog(nullptr, {}, vok::DlgKind::Save, {})->acceptMode(), QFileDialog::AcceptSave);
    }
};

QTEST_MAIN(tst_dialogs)
#include "tst_dialogs.moc"
