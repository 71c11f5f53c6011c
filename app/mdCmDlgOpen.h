// The file-selection dialog of the browse buttons.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QFileDialog;
class QWidget;

namespace vok {

enum class DlgKind { Open, Save };

// The file lists of the browse buttons: entries "label(pattern)" joined by "|".
inline const QString kTextFileList = QStringLiteral("ﾃｷｽﾄﾌｧｲﾙ(*.txt)|全てのﾌｧｲﾙ(*.*)");
inline const QString kBinaryFileList = QStringLiteral("ﾊﾞｲﾅﾘﾌｧｲﾙ(*.bin)|ﾃｷｽﾄﾌｧｲﾙ(*.txt)|全てのﾌｧｲﾙ(*.*)");
inline const QString kPatternFileList = QStringLiteral("ﾊﾟﾀｰﾝﾌｧｲﾙ(*.ptn)|ﾃｷｽﾄﾌｧｲﾙ(*.txt)|全てのﾌｧｲﾙ(*.*)");

// One dialog choice per entry, shown as written; each filters by the text in
// its parentheses.
QStringList dialogFilters(const QString& fileList);

// The dialog as CmDlgOpen shows it, for tests that look at its settings.
std::unique_ptr<QFileDialog> makeFileDialog(QWidget* owner, const QString& fileList, DlgKind kind,
                                            const QString& initialFolder);

// Shows the modal dialog; the chosen full path, or "" when cancelled.
QString CmDlgOpen(QWidget* owner, const QString& fileList, DlgKind kind, const QString& initialFolder);

}  // namespace vok
