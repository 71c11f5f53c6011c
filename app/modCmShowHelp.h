// The help call of the desktop program: opens the manual at its contents and
// index in the program's own help viewer.
#pragma once

#include <QString>

class QWidget;

// owner: the window the viewer belongs to, or nullptr for none. Returns 0 when
// the viewer shows the file, -1 when the file cannot be read (nothing shown).
int CmShowHelp(QWidget* owner, const QString& helpFile);

// The manual of the program in programDir: vok.hlp beside it (the build tree),
// else in the installed tree's share/vok; the path beside it when neither
// exists, so that a missing manual is reported where it is first looked for.
QString FindHelpFile(const QString& programDir);
