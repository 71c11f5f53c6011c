// The file checks made before a run: does an input exist, may an output be
// written, and how big a file is.
#pragma once

#include <QString>

#include <cstdint>

class QWidget;

namespace vok {

class MessageBoxes;

// ChkInFile results.
inline constexpr std::int16_t kInFileOk = 0;
inline constexpr std::int16_t kInFileMissing = 1;
inline constexpr std::int16_t kInFileFolder = 2;
inline constexpr std::int16_t kInFileNotFile = 3;  // a pipe, a device or a socket

// ChkOutFile results.
inline constexpr std::int16_t kOutFileOk = 0;
inline constexpr std::int16_t kOutFileDeclined = 1;
inline constexpr std::int16_t kOutFileFolder = 2;
inline constexpr std::int16_t kOutFileNoFolder = 3;
inline constexpr std::int16_t kOutFileNotFile = 4;  // a pipe, a device or a socket

std::int16_t ChkInFile(const QString& path);
// Asks before an existing file is overwritten ("上書きの確認").
std::int16_t ChkOutFile(const QString& path, MessageBoxes& messages, QWidget* parent);

// Size in bytes; -1 when the file cannot be examined.
qint64 fileSize(const QString& path);

// True when both paths name the same existing file, however they are written.
bool sameExistingFile(const QString& a, const QString& b);

}  // namespace vok
