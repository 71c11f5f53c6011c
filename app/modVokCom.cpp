#include "modVokCom.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace vok {

QString GetTempLog() {
    const QString folder = QDir::tempPath();
    if (folder.isEmpty()) return {};
    QTemporaryFile file(folder + QStringLiteral("/vokXXXXXX"));
    // The run owns the file from now on; it is deleted by subDeleteLog.
    file.setAutoRemove(false);
    if (!file.open()) return {};
    return QDir::toNativeSeparators(file.fileName());
}

QString GetConvLogName(const QString& programDir, const QDateTime& now) {
    QString folder = programDir;
    if (!QFileInfo(folder).isDir() || !QFileInfo(folder).isWritable()) {
        const QString fallback = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
        if (!fallback.isEmpty() && QDir().mkpath(fallback)) folder = fallback;
    }
    const QString name = QStringLiteral("VOK_LOG_") + now.toString(QStringLiteral("yyyyMMdd_HHmmss")) +
                         QStringLiteral(".txt");
    return QDir::toNativeSeparators(QDir(folder).filePath(name));
}

}  // namespace vok
