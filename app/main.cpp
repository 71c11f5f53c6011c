// vok: the desktop program. One window; the command line is one path.
#include <QApplication>
#include <QStringList>

#include "frmVokl.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vok"));
    vok::installQtTranslations(app);
    vok::RealServices real;
    frmVokl window(real.services());
    // A path with blanks arrives split by the shell's rules; it is one path.
    const QString commandLine = QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));
    if (!window.Form_Load(commandLine)) return 0;
    window.show();
    return app.exec();
}
