#include "modCmShowHelp.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <exception>
#include <map>

#ifndef VOK_BIN_TO_HELPDIR
#define VOK_BIN_TO_HELPDIR "../share/vok"
#endif

namespace {

constexpr const char* kHelpFileName = "vok.hlp";
constexpr const char* kViewerName = "vokHelpViewer";
constexpr const char* kHelpFileProperty = "helpFile";
// Anchors named "idx:<word>" in the manual make the entries of the index.
const QString kIndexPrefix = QStringLiteral("idx:");
constexpr int kBlockRole = Qt::UserRole;
constexpr int kViewerWidth = 860;
constexpr int kViewerHeight = 600;
constexpr int kContentsWidth = 230;
constexpr int kDeepestLevel = 3;

void scrollToBlock(QTextBrowser* browser, int blockNumber) {
    QTextDocument* doc = browser->document();
    const QTextBlock block = doc->findBlockByNumber(blockNumber);
    if (!block.isValid()) return;
    QTextCursor cursor(block);
    browser->setTextCursor(cursor);
    const qreal top = doc->documentLayout()->blockBoundingRect(block).top();
    browser->verticalScrollBar()->setValue(static_cast<int>(top));
}

// The headings h1..h3 of the manual, as a tree in document order.
void fillContents(QTreeWidget* tree, const QTextDocument* doc) {
    QTreeWidgetItem* parents[kDeepestLevel + 1] = {};
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level < 1 || level > kDeepestLevel || block.text().trimmed().isEmpty()) continue;
        QTreeWidgetItem* parent = nullptr;
        for (int up = level - 1; up >= 1 && parent == nullptr; --up) parent = parents[up];
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        item->setText(0, block.text().trimmed());
        item->setData(0, kBlockRole, block.blockNumber());
        parents[level] = item;
        std::fill(parents + level + 1, parents + kDeepestLevel + 1, nullptr);
    }
    tree->expandAll();
}

// Index words and the block of their first mention.
std::map<QString, int> indexWords(const QTextDocument* doc) {
    std::map<QString, int> words;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            for (const QString& name : it.fragment().charFormat().anchorNames()) {
                if (name.startsWith(kIndexPrefix))
                    words.emplace(name.mid(kIndexPrefix.size()), block.blockNumber());
            }
        }
    }
    return words;
}

void fillIndex(QListWidget* list, const QTextDocument* doc) {
    for (const auto& [word, blockNumber] : indexWords(doc)) {
        auto* item = new QListWidgetItem(word, list);
        item->setData(kBlockRole, blockNumber);
    }
}

void filterIndex(QListWidget* list, const QString& typed) {
    QListWidgetItem* first = nullptr;
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        const bool shown = item->text().contains(typed, Qt::CaseInsensitive);
        item->setHidden(!shown);
        if (shown && first == nullptr) first = item;
    }
    if (first != nullptr) list->setCurrentItem(first);
}

QWidget* makeIndexPage(QTextBrowser* browser, QWidget* parent) {
    auto* page = new QWidget(parent);
    auto* search = new QLineEdit(page);
    search->setObjectName(QStringLiteral("indexSearch"));
    search->setPlaceholderText(QStringLiteral("キーワードを入力"));
    auto* list = new QListWidget(page);
    list->setObjectName(QStringLiteral("index"));
    list->setUniformItemSizes(true);  // Latin and Japanese faces differ in height
    fillIndex(list, browser->document());
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(search);
    layout->addWidget(list);
    QObject::connect(search, &QLineEdit::textChanged, list, [list](const QString& t) { filterIndex(list, t); });
    QObject::connect(list, &QListWidget::itemActivated, browser,
                     [browser](QListWidgetItem* item) { scrollToBlock(browser, item->data(kBlockRole).toInt()); });
    QObject::connect(list, &QListWidget::itemClicked, browser,
                     [browser](QListWidgetItem* item) { scrollToBlock(browser, item->data(kBlockRole).toInt()); });
    QObject::connect(search, &QLineEdit::returnPressed, list, [list] {
        if (QListWidgetItem* item = list->currentItem()) emit list->itemActivated(item);
    });
    return page;
}

QWidget* makeViewer(QWidget* owner, const QString& helpFile) {
    auto* viewer = new QWidget(owner, Qt::Window);
    viewer->setObjectName(QString::fromLatin1(kViewerName));
    viewer->setProperty(kHelpFileProperty, helpFile);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    // The program ends with its main window, whether the manual is open or not.
    viewer->setAttribute(Qt::WA_QuitOnClose, false);

    auto* browser = new QTextBrowser(viewer);
    browser->setObjectName(QStringLiteral("helpText"));
    browser->setOpenExternalLinks(true);
    browser->setSource(QUrl::fromLocalFile(helpFile), QTextDocument::HtmlResource);

    auto* finder = new QTabWidget(viewer);
    finder->setObjectName(QStringLiteral("finder"));
    auto* contents = new QTreeWidget(finder);
    contents->setObjectName(QStringLiteral("contents"));
    contents->setHeaderHidden(true);
    fillContents(contents, browser->document());
    QObject::connect(contents, &QTreeWidget::itemClicked, browser, [browser](QTreeWidgetItem* item) {
        scrollToBlock(browser, item->data(0, kBlockRole).toInt());
    });
    QObject::connect(contents, &QTreeWidget::itemActivated, browser, [browser](QTreeWidgetItem* item) {
        scrollToBlock(browser, item->data(0, kBlockRole).toInt());
    });
    finder->addTab(contents, QStringLiteral("目次"));
    finder->addTab(makeIndexPage(browser, finder), QStringLiteral("索引"));

    auto* splitter = new QSplitter(viewer);
    splitter->addWidget(finder);
    splitter->addWidget(browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kContentsWidth, kViewerWidth - kContentsWidth});
    auto* layout = new QHBoxLayout(viewer);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    const QString title = browser->documentTitle();
    viewer->setWindowTitle(title.isEmpty() ? QFileInfo(helpFile).fileName() : title);
    viewer->resize(kViewerWidth, kViewerHeight);
    return viewer;
}

// A viewer already showing this file is brought forward instead of opening a second one.
QWidget* openViewerFor(const QString& helpFile) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String(kViewerName) && w->property(kHelpFileProperty).toString() == helpFile)
            return w;
    }
    return nullptr;
}

bool isReadableFile(const QString& path) {
    QFile file(path);
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly);
}

}  // namespace

int CmShowHelp(QWidget* owner, const QString& helpFile) {
    try {
        if (!isReadableFile(helpFile)) return -1;
        const QString canonical = QFileInfo(helpFile).canonicalFilePath();
        QWidget* viewer = openViewerFor(canonical);
        if (viewer == nullptr) viewer = makeViewer(owner, canonical);
        viewer->show();
        viewer->raise();
        viewer->activateWindow();
        return 0;
    } catch (const std::exception&) {
        return -1;
    }
}

QString FindHelpFile(const QString& programDir) {
    const QDir program(programDir);
    const QString beside = program.filePath(QLatin1String(kHelpFileName));
    const QString installed =
        QDir(program.filePath(QStringLiteral(VOK_BIN_TO_HELPDIR))).filePath(QLatin1String(kHelpFileName));
    if (!QFileInfo(beside).isFile() && QFileInfo(installed).isFile()) return installed;
    return beside;
}
