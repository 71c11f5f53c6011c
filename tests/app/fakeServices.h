// The main window on stand-ins for everything outside it, and the helpers
// the desktop program's tests share.
#pragma once

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>

#include "frmVokl.h"
#include "pathBox.h"

struct BoxCall { QMessageBox::Icon icon; QString title, text; QMessageBox::StandardButtons buttons; };

// The window and its world: this object answers boxes (in turn, then Yes or OK),
// picks files (in turn, then Cancel), fixes the clock, records the dialogs, the
// lock and quitting, and stands for the library unless a real one is given.
struct Harness : vok::MessageBoxes, vok::FileDialogs, vok::Clock, vok::Dialogs, vok::InstanceGuard,
                 vok::AppControl, vok::VoklApi {
    QList<BoxCall> boxes;
    QList<QMessageBox::StandardButton> answers;
    QStringList fileDialogs, picks;  // "file list|open or save|folder"; the files chosen
    QStringList errors;              // "busy or idle|log|the run's paths|..."
    QStringList helps;
    int versions = 0, quits = 0, versionCalls = 0;
    bool otherInstance = false, noConversion = false, notLoadable = false;
    bool extended = false;  // has the extended exports: a log line, progress in halves, stopping
    float version = 110.0f;  // 0: no voklVersion export
    std::int32_t result = 1;
    std::function<void()> during;     // runs inside each conversion call, on the window's thread
    std::function<void()> whileError; // runs while the error dialog is shown
    QStringList calls;             // "name|arg|arg|..."
    QTemporaryDir programDir;
    std::unique_ptr<frmVokl> window;

    explicit Harness(vok::VoklApi* library = nullptr)
        : window(std::make_unique<frmVokl>(vok::Services{*this, *this, *this, *this, library ? *library : *this,
                                                         *this, *this, programDir.path()})) {}
    frmVokl& load(const QString& commandLine = QString()) {
        window->Form_Load(commandLine);
        return *window;
    }
    bool showActive() {
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }

    // A user's steps, one per word: "tabN" shows tab N, "name=text" types into a
    // path box, "No" answers the next question, a name clicks (if enabled).
    void act(const QString& steps) {
        for (const QString& step : steps.split(' ', Qt::SkipEmptyParts)) {
            QWidget* target = window->findChild<QWidget*>(step.section('=', 0, 0));
            if (step.size() == 4 && step.startsWith("tab"))
                window->tabRTF->setCurrentIndex(step.back().digitValue() - 1);
            else if (step == "No")
                answers << QMessageBox::No;
            else if (auto* box = qobject_cast<PathBox*>(target); box && step.contains('='))
                box->setText(step.section('=', 1));
            else if (auto* button = qobject_cast<QAbstractButton*>(target))
                button->click();
            else
                qFatal("no control for %s", qPrintable(step));
        }
    }
    // Checks what the window shows, one word each: "name" is enabled, "!name"
    // disabled, "@name" has the focus, "name=text" shows the text, "ran" and
    // "!ran": the library was called once or not at all.
    void expect(const QString& expected) {
        for (const QString& item : expected.split(' ', Qt::SkipEmptyParts)) {
            QWidget* c = window->findChild<QWidget*>(item.section('=', 0, 0).remove(QRegularExpression("^[!@]")));
            if (item == "ran" || item == "!ran")
                QCOMPARE(calls.size(), item.startsWith('!') ? 0 : 1);
            else if (item.startsWith('@'))
                QCOMPARE(QApplication::focusWidget(), c);
            else if (item.contains('='))
                QCOMPARE(c->property("text").toString(), item.section('=', 1));
            else
                QVERIFY2(c->isEnabled() == !item.startsWith('!'), qPrintable(item));
        }
    }

    QMessageBox::StandardButton show(QWidget*, QMessageBox::Icon icon, const QString& title, const QString& text,
                                     QMessageBox::StandardButtons buttons, QMessageBox::StandardButton) override {
        boxes.append({icon, title, text, buttons});
        if (!answers.isEmpty()) return answers.takeFirst();
        return buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
    }
    QString CmDlgOpen(QWidget*, const QString& fileList, vok::DlgKind kind, const QString& folder) override {
        fileDialogs << fileList + (kind == vok::DlgKind::Open ? "|open|" : "|save|") + folder;
        return picks.isEmpty() ? QString() : picks.takeFirst();
    }
    QDateTime now() override { return {QDate(2026, 1, 2), QTime(3, 4, 5)}; }
    void showError(QWidget*, const vok::ErrorLog& log) override {
        errors << (window->isBusy() ? "busy|" : "idle|") + log.path;
        for (const std::string& path : log.runPaths) errors.last() += '|' + QString::fromStdString(path);
        if (log.lines) errors.last() += "|lines:" + log.lines->join('/');
        if (whileError) whileError();
    }
    void showVersion(QWidget*) override { ++versions; }
    int showHelp(QWidget* owner, const QString& helpFile) override {
        helps << (owner ? "owned " : "") + helpFile;
        return -1;  // the window ignores it
    }
    bool tryAcquire() override { return !otherInstance; }
    void quit() override { ++quits; }

    using I = std::int32_t;
    using S = const char*;
    float voklVersion() override {
        fail(version == 0.0f);
        ++versionCalls;
        return version;
    }
    I s2jconv(I a, I b, I c, S d, S e, S f) override { return record({"s2jconv", n(a), n(b), n(c), d, e, f}); }
    I j2sconv(I a, I b, I c, I d, I e, S f, S g, S h, S i, S j) override {
        return record({"j2sconv", n(a), n(b), n(c), n(d), n(e), f, g, h, i, j});
    }
    I mkpatn(I a, I b, I c, S d, S e, S f) override { return record({"mkpatn", n(a), n(b), n(c), d, e, f}); }
    std::optional<I> vokl_s2j(const vok::JobHooks& hooks, I b, I c, S d, S e, S f) override {
        return job(hooks, {"vokl_s2j", n(b), n(c), d, e, f});
    }
    std::optional<I> vokl_j2s(const vok::JobHooks& hooks, I b, I c, I d, I e, S f, S g, S h, S i, S j) override {
        return job(hooks, {"vokl_j2s", n(b), n(c), n(d), n(e), f, g, h, i, j});
    }

private:
    void fail(bool missing) {
        if (notLoadable) throw vok::LibraryLoadError("libvokl.so: cannot open shared object file");
        if (missing) throw vok::MissingExport("undefined symbol");
    }
    static QString n(I v) { return QString::number(v); }
    I record(const QStringList& call) {
        fail(noConversion);
        calls << call.join('|');
        if (during && QThread::currentThread() == qApp->thread()) during();
        else if (during) QMetaObject::invokeMethod(qApp, during, Qt::BlockingQueuedConnection);
        return result;
    }
    std::optional<I> job(const vok::JobHooks& hooks, const QStringList& call) {
        if (!extended) return std::nullopt;
        hooks.logLine("記録の一行");
        hooks.progress(0, 1000);
        const I rc = record(call);
        for (std::int64_t done : {500, 1000})
            if (hooks.progress(done, 1000)) return -40;
        return rc;
    }
};

inline void fillTab(frmVokl& w, int tab, const QString& in, const QString& out) {
    w.tabRTF->setCurrentIndex(tab - 1);
    (tab == 1 ? w.txt1_Sjsp : tab == 2 ? w.txt2_Jefp : w.txt3_Copyp)->setText(in);
    (tab == 1 ? w.txt1_Jefp : tab == 2 ? w.txt2_Sjsp : w.txt3_Ptnp)->setText(out);
}

// A drag from a file manager.
inline void drop(QWidget* box, const QStringList& files) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& f : files) urls << QUrl::fromLocalFile(f);
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box, &enter);
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box, &dropped);
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The look guard for a shown window: no control overlaps a shown sibling or
// sticks out of its container, and no caption is cut off.
inline void checkLook(QWidget* window) {
    static const QRegularExpression names("^(cmd|lbl|opt|chk|txt|fra|img|Label|tab|prg)");
    QList<QWidget*> controls = window->findChildren<QWidget*>(names);
    controls.removeIf([](QWidget* c) { return c->isHidden(); });
    for (QWidget* c : controls) {
        const QString name = c->objectName();
        QVERIFY2(c->parentWidget()->rect().contains(c->geometry()), qPrintable(name + " sticks out"));
        // A push button's hint adds the style's margins to the room its caption needs.
        if (qobject_cast<QLabel*>(c) || qobject_cast<QCheckBox*>(c) || qobject_cast<QRadioButton*>(c))
            QVERIFY2(c->width() >= c->sizeHint().width() && c->height() >= c->fontMetrics().height(),
                     qPrintable(name + " is cut off"));
        for (QWidget* d : controls)
            QVERIFY2(c == d || c->parentWidget() != d->parentWidget() || !c->geometry().intersects(d->geometry()),
                     qPrintable(name + " overlaps " + d->objectName()));
    }
}
