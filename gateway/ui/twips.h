#pragma once

#include <QRect>
#include <QWidget>

// The window layouts are given in twips; the screen has 15 twips per pixel.
inline constexpr int kTwipsPerPixel = 15;

inline int twipsToPixels(int twips) {
    return qRound(double(twips) / kTwipsPerPixel);
}

inline int pixelsToTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}

// Places a control by a layout rule given in twips. A negative width or
// height (a window too small for the rule) is not applied: the control keeps
// that size, and the other settings still are.
inline void placeInTwips(QWidget* control, int left, int top, int width, int height) {
    QRect rect = control->geometry();
    rect.moveTo(twipsToPixels(left), twipsToPixels(top));
    if (width >= 0)
        rect.setWidth(twipsToPixels(width));
    if (height >= 0)
        rect.setHeight(twipsToPixels(height));
    control->setGeometry(rect);
}
