// The program's look, compiled into the corvane_skin library.
#pragma once

#include <QIcon>
#include <QString>

// The style sheet text, or empty text when the resource is missing.
QString skinStyleSheet();

// The program icon in every size the build compiles in, for QApplication::setWindowIcon.
QIcon skinApplicationIcon();
