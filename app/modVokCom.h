// The run's files: the temporary log and the name of the conversion-error
// log, and paths as the library takes them.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include "core/modVokCom.h"

namespace vok {

// A new empty file "vok..." in the temporary folder; "" when none can be made.
QString GetTempLog();
// programDir + "/VOK_LOG_yyyymmdd_hhnnss.txt"; in the user's data folder when
// the program's folder cannot be written, so the log is never lost.
QString GetConvLogName(const QString& programDir, const QDateTime& now);
// A path as the 8-bit string the library takes (the file system's encoding).
inline QByteArray libraryPath(const QString& path) { return QFile::encodeName(path); }

}  // namespace vok
