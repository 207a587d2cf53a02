// Single-pixel drawing on the graph's pictures: a line's end point is not drawn, so a closed
// figure of joined lines colours each corner exactly once.
#pragma once

#include <QImage>

#include <algorithm>
#include <cstdlib>

namespace quellaton {

class PictureCanvas {
public:
    explicit PictureCanvas(QImage& image) : image_(image) {}

    void setPixel(int x, int y, QRgb colour) {
        if (x >= 0 && y >= 0 && x < image_.width() && y < image_.height()) {
            reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = colour;
        }
    }

    // Horizontal or vertical line from (x0, y0) towards (x1, y1), end point excluded.
    void straightLine(int x0, int y0, int x1, int y1, QRgb colour) {
        const int dx = (x1 > x0) - (x1 < x0);
        const int dy = (y1 > y0) - (y1 < y0);
        const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        for (int i = 0; i < steps; ++i) {
            setPixel(x0 + i * dx, y0 + i * dy, colour);
        }
    }

    // Line from (x, y0) to (x + 1, y1), end point excluded: a flat step colours (x, y0); a
    // steep one walks the rows from y0 towards y1, the first half in column x and the rest in
    // column x + 1.
    void columnStep(int x, int y0, int y1, QRgb colour) {
        const int dy = y1 - y0;
        const int n = std::abs(dy);
        if (n <= 1) {
            setPixel(x, y0, colour);
            return;
        }
        const int dir = dy > 0 ? 1 : -1;
        // Only rows inside the picture can show: skip the rest without walking them.
        int first = 0;
        int last = n - 1;
        const int h = image_.height();
        if (dir > 0) {
            first = std::max(first, -y0);
            last = std::min(last, h - 1 - y0);
        } else {
            first = std::max(first, y0 - (h - 1));
            last = std::min(last, y0);
        }
        for (int i = first; i <= last; ++i) {
            setPixel(2 * i < n ? x : x + 1, y0 + dir * i, colour);
        }
    }

    void fillRect(int left, int top, int width, int height, QRgb colour) {
        const int x0 = std::max(left, 0);
        const int x1 = std::min(left + width, image_.width());
        const int y0 = std::max(top, 0);
        const int y1 = std::min(top + height, image_.height());
        for (int y = y0; y < y1; ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
            std::fill(line + x0, line + std::max(x0, x1), colour);
        }
    }

private:
    QImage& image_;
};

} // namespace quellaton
