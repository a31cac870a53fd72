// The application the test program's main() made (QtTestMain.cpp).
#pragma once
#include <QApplication>

inline QApplication& TestApp() { return *qApp; }
