// A plain, read-only window for long texts such as a task's engine log: selectable, copyable,
// closed with Escape. It does not block the window that opened it.
#pragma once

#include <QString>

class QDialog;
class QWidget;

// Shows text in a new viewer owned by parent and deleted when closed; returns it.
QDialog* showTextViewer(QWidget* parent, const QString& title, const QString& text);
