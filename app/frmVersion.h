// The version dialog: the program's icon, name and version, a notice and a
// contact line, and "ＯＫ". One instance per showing.
#pragma once

#include <QDialog>

class frmVersion : public QDialog {
public:
    explicit frmVersion(QWidget* parent = nullptr);
};
