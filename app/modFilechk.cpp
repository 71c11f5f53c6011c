#include "modFilechk.h"

#include <QFileInfo>

#include "uiServices.h"

namespace vok {
namespace {

bool isSeparator(QChar c) {
#if defined(Q_OS_WIN)
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
#else
    return c == QLatin1Char('/');
#endif
}

qsizetype lastSeparator(const QString& path) {
    for (qsizetype i = path.size(); i > 0; --i)
        if (isSeparator(path[i - 1])) return i - 1;
    return -1;
}

}  // namespace

std::int16_t ChkInFile(const QString& path) {
    if (!path.isEmpty() && isSeparator(path.back())) return kInFileFolder;
    const QFileInfo info(path);
    if (info.isFile()) return kInFileOk;
    if (info.isDir()) return kInFileFolder;
    // A pipe would block the library's read.
    if (info.exists()) return kInFileNotFile;
    // Missing, or unreadable folders on the way.
    return kInFileMissing;
}

std::int16_t ChkOutFile(const QString& path, MessageBoxes& messages, QWidget* parent) {
    const qsizetype separator = lastSeparator(path);
    if (separator >= 0 && !QFileInfo(path.left(separator + 1)).isDir()) return kOutFileNoFolder;
    const QFileInfo info(path);
    if (info.isFile()) {
        const auto answer = messages.show(parent, QMessageBox::Question, QStringLiteral("上書きの確認"),
                                          path + QStringLiteral(" に上書きしますか?"),
                                          QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        return answer == QMessageBox::Yes ? kOutFileOk : kOutFileDeclined;
    }
    if (info.isDir()) return kOutFileFolder;
    // Writing into a pipe waits for a reader that may never come, and a device is no file to keep.
    if (info.exists()) return kOutFileNotFile;
    return kOutFileOk;
}

qint64 fileSize(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() ? info.size() : -1;
}

bool sameExistingFile(const QString& a, const QString& b) {
    const QFileInfo infoA(a);
    const QFileInfo infoB(b);
    if (!infoA.isFile() || !infoB.isFile()) return false;
    return infoA.canonicalFilePath() == infoB.canonicalFilePath();
}

}  // namespace vok
