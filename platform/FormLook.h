// The windows' common look: the Tahoma font (the system's CJK sans stands in where Tahoma is
// missing) and, where the window has one, its own background colour.
#pragma once
#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>

inline void ApplyFormLook(QWidget& form, const QColor* background) {
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(12);
  form.setFont(font);
  if (background != nullptr) {
    QPalette pal = form.palette();
    pal.setColor(QPalette::Window, *background);
    form.setPalette(pal);
    form.setAutoFillBackground(true);
  }
}

// Red 222, green 221, blue 190: the background of most of the program's windows.
inline const QColor FormBackground{222, 221, 190};
