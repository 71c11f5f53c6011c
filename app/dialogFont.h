// The fixed-pitch Japanese face of the dialogs: "ＭＳ ゴシック" where it
// exists, elsewhere the nearest fixed-pitch Japanese face.
#pragma once

#include <QFont>
#include <QStringList>

inline QFont dialogFont(int pointSize) {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
                      QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(pointSize);
    return font;
}
