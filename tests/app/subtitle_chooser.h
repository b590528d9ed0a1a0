// Reading and clicking a row's "Subtitles:" chooser as a person would.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QStringList>
#include <QTest>

namespace subtitle_chooser {

inline QStringList Entries(QComboBox* chooser) {
    QStringList entries;
    for (int i = 0; i < chooser->count(); ++i)
        entries << chooser->itemText(i);
    return entries;
}

// What the closed box reads: a summary, as no single entry says it.
inline QString Shown(QComboBox* chooser) {
    return chooser->currentIndex() < 0 ? chooser->placeholderText() : chooser->currentText();
}

inline bool TickedAt(QComboBox* chooser, int entry) {
    return entry >= 0 && chooser->itemData(entry, Qt::CheckStateRole).toInt() == Qt::Checked;
}

// The entry with this text after the "Burn into picture:" heading.
inline int BurnEntry(QComboBox* chooser, const QString& text) {
    const QStringList entries = Entries(chooser);
    return entries.indexOf(text, entries.indexOf("Burn into picture:"));
}

// A click on an entry of the chooser's open list.
inline void ClickEntry(QComboBox* chooser, int entry) {
    ASSERT_GE(entry, 0);
    chooser->showPopup();
    QAbstractItemView* list = chooser->view();
    // The list ignores a release that comes right after it opened (a press that opened it).
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    const QPoint centre = list->visualRect(chooser->model()->index(entry, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    chooser->hidePopup();
}

}  // namespace subtitle_chooser
