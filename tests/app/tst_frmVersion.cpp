// The version dialog: its texts, fonts and arrangement, and that "ＯＫ" closes it.
#include "frmVersion.h"

#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

class tst_frmVersion : public QObject {
    Q_OBJECT

    static QLabel* label(const frmVersion& dlg, const char* name) {
        return dlg.findChild<QLabel*>(QString::fromLatin1(name));
    }

private slots:
    void texts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::newRow("Label1") << "Label1" << "VOK";
        QTest::newRow("Label5") << "Label5" << "Version";
        QTest::newRow("lblVersion") << "lblVersion" << "1.10";
    }
    void texts() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        frmVersion dlg;
        QLabel* l = label(dlg, qPrintable(name));
        QVERIFY(l != nullptr);
        QCOMPARE(l->text(), text);
    }

    void captionAndButton() {
        frmVersion dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("バージョン情報"));
        auto* ok = dlg.findChild<QPushButton*>(QStringLiteral("cmdOk"));
        QVERIFY(ok != nullptr);
        QCOMPARE(ok->text(), QStringLiteral("ＯＫ"));
        QVERIFY(ok->isDefault());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    void labelFonts() {
        frmVersion dlg;
        const QList<QLabel*> labels = {label(dlg, "Label1"), label(dlg, "Label5"), label(dlg, "lblVersion"),
                                       label(dlg, "Label2"), label(dlg, "Label4")};
        for (QLabel* l : labels) {
            QVERIFY(l != nullptr);
            QCOMPARE(l->font().families().value(0), QStringLiteral("ＭＳ ゴシック"));
            QCOMPARE(l->font().pointSize(), 9);
            QCOMPARE(l->font().weight(), QFont::Normal);
            QVERIFY(!l->text().isEmpty());  // notice and contact lines have no fixed text
        }
    }

    // Rows as the dialog is drawn: icon top left, name, "Version" and the
    // number on the first row, notice and contact below, "ＯＫ" top right;
    // no text is cut off and nothing overlaps.
    void arrangement() {
        frmVersion dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* icon = label(dlg, "imgIcon");
        QLabel* name = label(dlg, "Label1");
        QLabel* word = label(dlg, "Label5");
        QLabel* number = label(dlg, "lblVersion");
        QLabel* notice = label(dlg, "Label2");
        QLabel* contact = label(dlg, "Label4");
        auto* ok = dlg.findChild<QPushButton*>(QStringLiteral("cmdOk"));
        QCOMPARE(icon->pixmap().deviceIndependentSize().toSize(), QSize(32, 32));
        QVERIFY(icon->x() < name->x() && icon->y() <= name->y());
        QCOMPARE(word->y(), name->y());
        QCOMPARE(number->y(), name->y());
        QVERIFY(name->geometry().right() < word->x());
        QVERIFY(word->geometry().right() < number->x());
        QVERIFY(notice->y() > name->geometry().bottom());
        QVERIFY(contact->y() > notice->geometry().bottom());
        QVERIFY(ok->geometry().right() > number->geometry().right());
        QVERIFY(ok->y() < notice->y());
        const QList<QWidget*> parts = {icon, name, word, number, notice, contact, ok};
        for (QWidget* a : parts) {
            QVERIFY2(dlg.rect().contains(a->geometry()), qPrintable(a->objectName()));
            for (QWidget* b : parts)
                QVERIFY2(a == b || !a->geometry().intersects(b->geometry()),
                         qPrintable(a->objectName() + QLatin1Char('/') + b->objectName()));
        }
        for (QLabel* l : {name, word, number, notice, contact}) {
            const QSize needed = l->fontMetrics().boundingRect(l->text()).size();
            QVERIFY2(needed.width() <= l->width() && l->fontMetrics().height() <= l->height(),
                     qPrintable(l->objectName()));
        }
    }

};

QTEST_MAIN(tst_frmVersion)
#include "tst_frmVersion.moc"
