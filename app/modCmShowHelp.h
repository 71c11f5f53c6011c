// The help call of the desktop program: opens the manual at its contents and
// index in the program's own help viewer.
#pragma once

#include <QString>

class QWidget;

// owner: the window the viewer belongs to, or nullptr for none. Returns 0 when
// the viewer shows the file, -1 when the file cannot be read (nothing shown).
int CmShowHelp(QWidget* owner, const QString& helpFile);
