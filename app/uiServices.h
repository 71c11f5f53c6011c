// What the main window asks of the world outside it: message boxes, the file
// dialog, the clock, the two dialogs and help, the single-instance lock, the
// end of the program and the conversion library. Each is a small interface so
// that tests answer questions and pick files without a person; the Qt
// implementations are the ones the program uses.
#pragma once

#include <QDateTime>
#include <QMessageBox>
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "dlgError.h"
#include "mdCmDlgOpen.h"
#include "voklApi.h"

class QCoreApplication;
class QLockFile;
class QWidget;

namespace vok {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A modal box; returns the button pressed.
    virtual QMessageBox::StandardButton show(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                             const QString& text, QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton) = 0;
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The chosen full path, or an empty string when the user cancels.
    virtual QString CmDlgOpen(QWidget* owner, const QString& fileList, DlgKind kind,
                              const QString& initialFolder) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() = 0;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // dlgError, modal.
    virtual void showError(QWidget* parent, const ErrorLog& log) = 0;
    // frmVersion, modal.
    virtual void showVersion(QWidget* parent) = 0;
    // CmShowHelp: 0, or -1 when the request failed.
    virtual int showHelp(QWidget* owner, const QString& helpFile) = 0;
};

class InstanceGuard {
public:
    virtual ~InstanceGuard() = default;
    // False when another instance of the program holds the lock.
    virtual bool tryAcquire() = 0;
};

class AppControl {
public:
    virtual ~AppControl() = default;
    // Ends the program at once, without unloading the window.
    virtual void quit() = 0;
};

struct Services {
    MessageBoxes& messages;
    FileDialogs& files;
    Clock& clock;
    Dialogs& dialogs;
    VoklApi& library;
    InstanceGuard& instance;
    AppControl& app;
    QString programDir;  // folder of the executable, without a trailing separator
};

// ---- the real ones ----

class QtMessageBoxes final : public MessageBoxes {
public:
    QMessageBox::StandardButton show(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                     const QString& text, QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton) override;
};

class QtFileDialogs final : public FileDialogs {
public:
    QString CmDlgOpen(QWidget* owner, const QString& fileList, DlgKind kind, const QString& initialFolder) override;
};

class SystemClock final : public Clock {
public:
    QDateTime now() override { return QDateTime::currentDateTime(); }
};

class QtDialogs final : public Dialogs {
public:
    void showError(QWidget* parent, const ErrorLog& log) override;
    void showVersion(QWidget* parent) override;
    int showHelp(QWidget* owner, const QString& helpFile) override;
};

// A lock file in the user's runtime folder, held while the program runs.
class LockFileGuard final : public InstanceGuard {
public:
    explicit LockFileGuard(const QString& lockPath = defaultLockPath());
    ~LockFileGuard() override;
    bool tryAcquire() override;
    static QString defaultLockPath();

private:
    std::unique_ptr<QLockFile> lock_;
};

class QtAppControl final : public AppControl {
public:
    void quit() override;
};

// Qt's own texts (the file dialog, the text boxes' menu, Qt's messages) in
// Japanese, as every other text of the program. False when Qt's
// translations are not installed; the program then runs with English ones.
bool installQtTranslations(QCoreApplication& app);

// Everything the program itself uses, with the library loaded by name.
class RealServices {
public:
    RealServices();
    ~RealServices();
    Services services();

private:
    QtMessageBoxes messages_;
    QtFileDialogs files_;
    SystemClock clock_;
    QtDialogs dialogs_;
    std::unique_ptr<VoklApi> library_;
    LockFileGuard instance_;
    QtAppControl app_;
};

}  // namespace vok
