// The application the test program's main() made (QtTestMain.cpp), and waiting on its events.
#pragma once
#include <QApplication>
#include <QtCore/qtestsupport_core.h>

inline QApplication& TestApp() { return *qApp; }

// Handles events until done() holds. No deadline of its own: the test's TIMEOUT ends a hang.
template <typename Done>
void WaitUntil(Done done) {
  while (!done()) QTest::qWait(10);
}
