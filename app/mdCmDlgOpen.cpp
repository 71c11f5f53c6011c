#include "mdCmDlgOpen.h"

#include <QFileDialog>

namespace vok {

QStringList dialogFilters(const QString& fileList) {
    QStringList filters;
    for (const QString& entry : fileList.split(QLatin1Char('|'), Qt::SkipEmptyParts)) filters << entry;
    return filters;
}

std::unique_ptr<QFileDialog> makeFileDialog(QWidget* owner, const QString& fileList, DlgKind kind,
                                            const QString& initialFolder) {
    auto dialog = std::make_unique<QFileDialog>(owner, QStringLiteral("ファイルを開く"), initialFolder);
    // Qt takes the pattern from the parentheses at the end of each entry and
    // shows the entry as it is.
    dialog->setNameFilters(dialogFilters(fileList));
    if (kind == DlgKind::Open) {
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFile);
    } else {
        // Choosing an existing file asks before it is overwritten.
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
    }
    return dialog;
}

QString CmDlgOpen(QWidget* owner, const QString& fileList, DlgKind kind, const QString& initialFolder) {
    std::unique_ptr<QFileDialog> dialog = makeFileDialog(owner, fileList, kind, initialFolder);
    if (dialog->exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog->selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

}  // namespace vok
