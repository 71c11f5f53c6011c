#include "uiServices.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QTranslator>

#include "dlgError.h"
#include "frmVersion.h"
#include "modCmShowHelp.h"
#include "voklLibrary.h"

namespace vok {

QMessageBox::StandardButton QtMessageBoxes::show(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                                 const QString& text, QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, title, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
    // The operators read Japanese: the buttons as a Japanese system labels them.
    if (QAbstractButton* yes = box.button(QMessageBox::Yes)) yes->setText(QStringLiteral("はい(&Y)"));
    if (QAbstractButton* no = box.button(QMessageBox::No)) no->setText(QStringLiteral("いいえ(&N)"));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString QtFileDialogs::CmDlgOpen(QWidget* owner, const QString& fileList, DlgKind kind,
                                 const QString& initialFolder) {
    return vok::CmDlgOpen(owner, fileList, kind, initialFolder);
}

void QtDialogs::showError(QWidget* parent, const ErrorLog& log) {
    dlgError dialog(log, parent);
    dialog.exec();
}

void QtDialogs::showVersion(QWidget* parent) {
    frmVersion dialog(parent);
    dialog.exec();
}

int QtDialogs::showHelp(QWidget* owner, const QString& helpFile) {
    return CmShowHelp(owner, helpFile);
}

LockFileGuard::LockFileGuard(const QString& lockPath) : lock_(std::make_unique<QLockFile>(lockPath)) {
    // A lock left by a crashed instance is taken over (its process is gone).
    lock_->setStaleLockTime(0);
}

LockFileGuard::~LockFileGuard() = default;

bool LockFileGuard::tryAcquire() { return lock_->isLocked() || lock_->tryLock(0); }

QString LockFileGuard::defaultLockPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    return QDir(folder).filePath(QStringLiteral("vok.lock"));
}

bool installQtTranslations(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

void QtAppControl::quit() { QCoreApplication::exit(0); }

RealServices::RealServices() : library_(std::make_unique<VoklLibrary>()) {}

RealServices::~RealServices() = default;

Services RealServices::services() {
    return Services{messages_, files_, clock_, dialogs_, *library_, instance_, app_,
                    QCoreApplication::applicationDirPath()};
}

}  // namespace vok
