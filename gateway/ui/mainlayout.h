#pragma once

#include <QRect>
#include <QSize>

// The resize rule of the main window for the log (List1) and the file view
// (RichTextBox1), computed in twips and returned in pixels:
//   List1 width = inner width - 240, height = inner height / 4 - 200;
//   RichTextBox1 top = List1 bottom + 120, width = inner width - 240,
//   height = inner height - RichTextBox1 top - 120.
// Each setting is applied on its own: one that would be negative (a window too
// small) is skipped and the control keeps its previous value, and the later
// settings still run with what is in place.
struct MainLayout {
    QRect list1;
    QRect richTextBox1;
};

MainLayout layOutLogViews(const QSize& inner, const MainLayout& current);
