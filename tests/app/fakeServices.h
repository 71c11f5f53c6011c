// Stand-ins for everything the main window asks of the world, so that the
// window tests see every message box, answer every question, pick files and
// fix the clock; and a helper that builds the window on top of them.
#pragma once

#include <QCursor>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QList>
#include <QMimeData>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "frmVokl.h"
#include "pathBox.h"

struct BoxCall {
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
};

class FakeMessages : public vok::MessageBoxes {
public:
    QList<BoxCall> calls;
    // Answers given in turn; without one, Yes to questions and OK otherwise.
    QList<QMessageBox::StandardButton> answers;
    QMessageBox::StandardButton show(QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text,
                                     QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton) override {
        calls.append({icon, title, text, buttons, defaultButton});
        if (!answers.isEmpty()) return answers.takeFirst();
        return buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
    }
};

struct DialogCall {
    QString fileList;
    vok::DlgKind kind;
    QString folder;
};

class FakeFiles : public vok::FileDialogs {
public:
    QList<DialogCall> calls;
    QStringList picks;  // "" stands for Cancel
    QString CmDlgOpen(QWidget*, const QString& fileList, vok::DlgKind kind, const QString& folder) override {
        calls.append({fileList, kind, folder});
        return picks.isEmpty() ? QString() : picks.takeFirst();
    }
};

class FakeClock : public vok::Clock {
public:
    QDateTime time{QDate(2026, 1, 2), QTime(3, 4, 5)};
    QDateTime now() override { return time; }
};

struct ErrorDialogCall {
    QString logPath;
    std::vector<std::string> runPaths;
    QByteArray logBytes;  // what the log held while the dialog was open
    bool windowBusy;
};

class FakeDialogs : public vok::Dialogs {
public:
    frmVokl* window = nullptr;
    QList<ErrorDialogCall> errors;
    int versions = 0;
    QList<QPair<QWidget*, QString>> helps;
    int helpResult = 0;
    void showError(QWidget*, const QString& logPath, const std::vector<std::string>& runPaths) override {
        QFile log(logPath);
        QByteArray bytes;
        if (log.open(QIODevice::ReadOnly)) bytes = log.readAll();
        errors.append({logPath, runPaths, bytes, window != nullptr && window->isBusy()});
    }
    void showVersion(QWidget*) override { ++versions; }
    int showHelp(QWidget* owner, const QString& helpFile) override {
        helps.append({owner, helpFile});
        return helpResult;
    }
};

class FakeGuard : public vok::InstanceGuard {
public:
    bool free = true;
    bool tryAcquire() override { return free; }
};

class FakeApp : public vok::AppControl {
public:
    int quits = 0;
    void quit() override { ++quits; }
};

// Checks one message box as a whole.
inline void checkBox(const BoxCall& box, const QString& title, const QString& text, QMessageBox::Icon icon,
                     QMessageBox::StandardButtons buttons) {
    QCOMPARE(box.title, title);
    QCOMPARE(box.text, text);
    QCOMPARE(box.icon, icon);
    QCOMPARE(box.buttons, buttons);
}

// What the window showed while the library was working.
struct CallSnapshot {
    QString name;
    QStringList args;
    bool busy = false;
    Qt::CursorShape cursor = Qt::ArrowCursor;
    QString status;
};

class FakeLibrary : public vok::VoklApi {
public:
    frmVokl* window = nullptr;
    float version = 110.0f;
    bool noVersion = false;
    bool noConversion = false;  // the three conversion exports are missing
    bool notLoadable = false;
    std::int32_t result = 0;
    std::function<void()> during;  // runs inside each conversion call
    QList<CallSnapshot> calls;
    int versionCalls = 0;

    float voklVersion() override {
        check(noVersion);
        ++versionCalls;
        return version;
    }
    std::int32_t s2jconv(std::int32_t a, std::int32_t b, std::int32_t c, const char* d, const char* e,
                         const char* f) override {
        return record("s2jconv", {n(a), n(b), n(c), s(d), s(e), s(f)});
    }
    std::int32_t j2sconv(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d, std::int32_t e,
                         const char* f, const char* g, const char* h, const char* i, const char* j) override {
        return record("j2sconv", {n(a), n(b), n(c), n(d), n(e), s(f), s(g), s(h), s(i), s(j)});
    }
    std::int32_t mkpatn(std::int32_t a, std::int32_t b, std::int32_t c, const char* d, const char* e,
                        const char* f) override {
        return record("mkpatn", {n(a), n(b), n(c), s(d), s(e), s(f)});
    }

private:
    void check(bool missing) {
        if (notLoadable) throw vok::LibraryLoadError("libvokl.so: cannot open shared object file");
        if (missing) throw vok::MissingExport("undefined symbol");
    }
    static QString n(std::int32_t v) { return QString::number(v); }
    static QString s(const char* p) { return p == nullptr ? QStringLiteral("(null)") : QString::fromUtf8(p); }
    std::int32_t record(const char* name, QStringList args) {
        check(noConversion);
        CallSnapshot snap;
        snap.name = QString::fromLatin1(name);
        snap.args = args;
        if (window != nullptr) {
            snap.busy = window->isBusy();
            snap.cursor = window->cursor().shape();
            snap.status = window->lblMsg->text();
        }
        calls.append(snap);
        if (during) during();
        return result;
    }
};

// The window on fakes; the program folder is a fresh temporary folder.
struct Harness {
    FakeMessages messages;
    FakeFiles files;
    FakeClock clock;
    FakeDialogs dialogs;
    FakeLibrary fakeLibrary;
    FakeGuard guard;
    FakeApp app;
    QTemporaryDir programDir;
    std::unique_ptr<frmVokl> window;

    explicit Harness(vok::VoklApi* library = nullptr) {
        vok::Services services{messages, files, clock, dialogs, library != nullptr ? *library : fakeLibrary,
                               guard,    app,   programDir.path()};
        window = std::make_unique<frmVokl>(services);
        dialogs.window = window.get();
        fakeLibrary.window = window.get();
    }
    frmVokl& load(const QString& commandLine = QString()) {
        window->Form_Load(commandLine);
        return *window;
    }
    // Shown and active, for focus and keyboard tests.
    bool showActive() {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }
};

// The input and output path boxes of tab 1, 2 or 3.
inline PathBox* inputBox(frmVokl& w, int tab) { return tab == 1 ? w.txt1_Sjsp : tab == 2 ? w.txt2_Jefp : w.txt3_Copyp; }
inline PathBox* outputBox(frmVokl& w, int tab) { return tab == 1 ? w.txt1_Jefp : tab == 2 ? w.txt2_Sjsp : w.txt3_Ptnp; }

// Shows tab 1 to 3 and fills its two paths.
inline void fillTab(frmVokl& w, int tab, const QString& in, const QString& out) {
    w.tabRTF->setCurrentIndex(tab - 1);
    inputBox(w, tab)->setText(in);
    outputBox(w, tab)->setText(out);
}

// A drag entering the box and dropping, as a file manager sends them.
inline void drop(QWidget* box, QMimeData* data) {
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box, &enter);
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box, &dropped);
}

inline void dropFiles(QWidget* box, const QStringList& files) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& f : files) urls << QUrl::fromLocalFile(f);
    data.setUrls(urls);
    drop(box, &data);
}
