#include "mainlayout.h"

#include "twips.h"

namespace {

// Sets a size in twips when it is valid; a negative one leaves the old value.
void setWidth(QRect& rect, int twips) {
    if (twips >= 0)
        rect.setWidth(twipsToPixels(twips));
}

void setHeight(QRect& rect, int twips) {
    if (twips >= 0)
        rect.setHeight(twipsToPixels(twips));
}

} // namespace

MainLayout layOutLogViews(const QSize& inner, const MainLayout& current) {
    const int width = pixelsToTwips(inner.width());
    const int height = pixelsToTwips(inner.height());
    MainLayout next = current;

    setWidth(next.list1, width - 240);
    setHeight(next.list1, height / 4 - 200);

    const int textTop = pixelsToTwips(next.list1.top() + next.list1.height()) + 120;
    next.richTextBox1.moveTop(twipsToPixels(textTop));
    setWidth(next.richTextBox1, width - 240);
    setHeight(next.richTextBox1, height - textTop - 120);
    return next;
}
