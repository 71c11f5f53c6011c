#include "mdCmDlgOpen.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QSplitter>
#include <QTreeView>

namespace vok {
namespace {

// Room for Japanese column titles, long sizes and dates, and the places
// list ("コンピューター").
constexpr int kDialogWidth = 820;
constexpr int kDialogHeight = 500;
constexpr int kPlacesWidth = 150;

// Qt's own dialog (a platform's native one has no such parts): columns as
// wide as their titles and contents, the name taking what is left.
void fitColumns(QFileDialog* dialog) {
    dialog->resize(kDialogWidth, kDialogHeight);
    if (auto* splitter = dialog->findChild<QSplitter*>(QStringLiteral("splitter")))
        splitter->setSizes({kPlacesWidth, kDialogWidth - kPlacesWidth});
    auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
    if (view == nullptr) return;
    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < header->count(); ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
}

}  // namespace

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
    fitColumns(dialog.get());
    return dialog;
}

QString CmDlgOpen(QWidget* owner, const QString& fileList, DlgKind kind, const QString& initialFolder) {
    std::unique_ptr<QFileDialog> dialog = makeFileDialog(owner, fileList, kind, initialFolder);
    if (dialog->exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog->selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

}  // namespace vok
