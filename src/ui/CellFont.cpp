// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CellFont.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <cmath>

namespace CellFont {

double AverageCharWidth(const QFont& font) {
    // Occurrences per thousand characters of a to z, then the space.
    static const int kWeights[27] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6,  35, 20, 56,
                                     56, 17, 4,  49, 56,  71, 31, 10, 18, 3, 18, 2,  166};
    const QFontMetricsF metrics(font);
    double sum = 0;
    for (int i = 0; i < 27; ++i)
        sum += kWeights[i] * metrics.horizontalAdvance(i < 26 ? QChar(u'a' + i) : QChar(u' '));
    return sum / 1000.0;
}

QFont Sized(QFont font, int cellHeight, int averageWidth) {
    font.setStretch(QFont::Unstretched);
    int size = cellHeight;
    for (; size > 1; --size) {
        font.setPixelSize(size);
        const QFontMetrics metrics(font);
        if (metrics.ascent() + metrics.descent() <= cellHeight)
            break;
    }
    font.setPixelSize(size);
    const double natural = AverageCharWidth(font);
    if (natural > 0 && averageWidth > 0)
        font.setStretch(qBound(1, int(std::lround(100.0 * averageWidth / natural)), 4000));
    return font;
}

} // namespace CellFont
