// The library bound by name: the real libvokl and the stand-ins of fakelib/.
#include "voklLibrary.h"

#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <functional>

namespace {

const QString kRealLib = QStringLiteral(VOK_REAL_LIB_DIR "/libvokl.so");

QString fake(const char* suffix) { return QStringLiteral(VOK_FAKELIB_DIR "/libvokl_%1.so").arg(QLatin1String(suffix)); }

using ExportCall = std::function<void(VoklLibrary&)>;

// Each export called once with harmless arguments (no log, no files).
const std::map<QString, ExportCall>& exportCalls() {
    static const std::map<QString, ExportCall> calls = {
        {QStringLiteral("voklVersion"), [](VoklLibrary& lib) { lib.voklVersion(); }},
        {QStringLiteral("s2jconv"), [](VoklLibrary& lib) { lib.s2jconv(0, 1, 0, "a", "b", "c"); }},
        {QStringLiteral("j2sconv"), [](VoklLibrary& lib) { lib.j2sconv(0, 1, 0, 0, 0, "a", "b", "c", "d", "e"); }},
        {QStringLiteral("mkpatn"), [](VoklLibrary& lib) { lib.mkpatn(0, 0, 0, "a", "b", "c"); }},
    };
    return calls;
}

// The stand-ins read their results from the environment; each test starts clean.
void clearFakeEnvironment() {
    for (const char* name : {"VOK_FAKE_RESULT", "VOK_FAKE_RESULT_S2JCONV", "VOK_FAKE_RESULT_J2SCONV",
                             "VOK_FAKE_RESULT_MKPATN", "VOK_FAKE_LOG", "VOK_FAKE_CALLS"})
        qunsetenv(name);
}

}  // namespace

class tst_voklLibrary : public QObject {
    Q_OBJECT

private slots:
    void init() { clearFakeEnvironment(); }
    void cleanupTestCase() { clearFakeEnvironment(); }

    void realLibraryRunsS2jconv() {
        testutil::TempDir dir;
        const std::string missing = dir.file("missing.txt");
        const std::string jef = dir.file("out.bin");
        const std::string log = dir.file("vok.log");
        VoklLibrary lib(kRealLib);
        QCOMPARE(lib.s2jconv(1, 1, 0, missing.c_str(), jef.c_str(), log.c_str()), -10);
        QVERIFY(testutil::exists(log));
        QVERIFY(!testutil::readText(log).empty());
    }

    // Beside the program or in ../lib, as the program's own search path says;
    // the tests live in <build>/tests, the real library in <build>/lib.
    void bareNameFindsTheLibraryInTheProgramsLibFolder() {
        VoklLibrary lib;
        QCOMPARE(lib.voklVersion(), 110.0f);
        QVERIFY(QFileInfo(lib.loadedFile()).fileName().startsWith(QLatin1String("libvokl.so")));
    }

    // Given the program's folder, a bare name is found where an installed tree
    // keeps the library, in the build tree's ../lib, or beside the program,
    // under the name with the ABI version that a run-time package has.
    void bareNameFindsTheLibraryFromTheProgram_data() {
        QTest::addColumn<QString>("libraryDir");
        QTest::newRow("installed") << QStringLiteral("bin/" VOK_BIN_TO_LIBDIR);
        QTest::newRow("build tree") << QStringLiteral("lib");
        QTest::newRow("program folder") << QStringLiteral("bin");
    }
    void bareNameFindsTheLibraryFromTheProgram() {
        QFETCH(QString, libraryDir);
        testutil::TempDir dir;
        const QDir root(QString::fromStdString(dir.path().string()));
        const QString programDir = root.filePath(QStringLiteral("bin"));
        const QString libDir = QDir::cleanPath(root.filePath(libraryDir));
        QVERIFY(QDir().mkpath(programDir) && QDir().mkpath(libDir));
        const QString file = QDir(libDir).filePath(QStringLiteral("libvokl_v200.so.%1").arg(VOKL_SOVERSION));
        QVERIFY(QFile::copy(fake("v200"), file));
        VoklLibrary lib(QStringLiteral("vokl_v200"), programDir);
        QCOMPARE(lib.voklVersion(), 200.0f);
        QCOMPARE(QFileInfo(lib.loadedFile()).canonicalFilePath(), QFileInfo(file).canonicalFilePath());
    }

    // A missing export fails only its own call; the others still work.
    void missingExport_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("missing");
        QTest::newRow("voklVersion") << fake("noversion") << QStringLiteral("voklVersion");
        QTest::newRow("s2jconv") << fake("nos2j") << QStringLiteral("s2jconv");
        QTest::newRow("j2sconv") << fake("noj2s") << QStringLiteral("j2sconv");
        QTest::newRow("mkpatn") << fake("nomkpatn") << QStringLiteral("mkpatn");
    }
    void missingExport() {
        QFETCH(QString, file);
        QFETCH(QString, missing);
        VoklLibrary lib(file);
        for (const auto& [name, call] : exportCalls()) {
            if (name == missing) {
                QVERIFY_THROWS_EXCEPTION(vok::MissingExport, call(lib));
                QVERIFY_THROWS_EXCEPTION(vok::MissingExport, call(lib));  // asked again, not remembered as found
            } else {
                call(lib);
            }
        }
    }

    void missingLibraryFileGivesThePlatformsText() {
        testutil::TempDir dir;
        VoklLibrary lib(QString::fromStdString(dir.file("libvokl_absent.so")));
        for (const auto& [name, call] : exportCalls()) {
            try {
                call(lib);
                QFAIL(qPrintable(name + QStringLiteral(" ran without a library")));
            } catch (const vok::LibraryLoadError& e) {
                QVERIFY2(std::string(e.what()).find("libvokl_absent") != std::string::npos, e.what());
            }
        }
        QVERIFY(lib.loadedFile().isEmpty());
    }

    void bareNameThatNothingFindsGivesLoadError() {
        VoklLibrary lib(QStringLiteral("vokl_no_such_library"));
        QVERIFY_THROWS_EXCEPTION(vok::LibraryLoadError, lib.voklVersion());
    }

    // Nothing is loaded until a call, and a failed load is tried again at the
    // next call: the file may appear after the object is made.
    void libraryIsLoadedAtTheFirstCall() {
        testutil::TempDir dir;
        const QString path = QString::fromStdString(dir.file("libvokl_late.so"));
        VoklLibrary lib(path);
        QVERIFY(lib.loadedFile().isEmpty());
        QVERIFY_THROWS_EXCEPTION(vok::LibraryLoadError, lib.voklVersion());
        QVERIFY(QFile::copy(fake("v200"), path));
        QCOMPARE(lib.voklVersion(), 200.0f);
        QVERIFY(!lib.loadedFile().isEmpty());
    }

    // Every argument reaches the library in its place.
    void argumentsArriveInOrder() {
        testutil::TempDir dir;
        const std::string calls = dir.file("calls.txt");
        qputenv("VOK_FAKE_CALLS", calls.c_str());
        VoklLibrary lib(fake("v110"));
        lib.s2jconv(0, 2, 1, "in.txt", "out.bin", "log1");
        lib.j2sconv(0, 3, 80, 1, 9, "in.bin", "out.txt", "_********_", "log2", "conv.txt");
        lib.mkpatn(0, 2, 1, "copy.cbl", "out.ptn", "log3");
        QCOMPARE(QString::fromStdString(testutil::readText(calls)),
                 QStringLiteral("s2jconv|0|2|1|in.txt|out.bin|log1\n"
                                "j2sconv|0|3|80|1|9|in.bin|out.txt|_********_|log2|conv.txt\n"
                                "mkpatn|0|2|1|copy.cbl|out.ptn|log3\n"));
    }
};

QTEST_MAIN(tst_voklLibrary)
#include "tst_voklLibrary.moc"
