#include "grids/grid_printer.h"

#include "grids/grid_model.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <vector>

namespace quadrel {

bool printTable(const GridTable& table, QPrinter& printer, const QString& title) {
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    QFont font("DejaVu Sans", 9);
    painter.setFont(font);
    const QFontMetrics fm(font, &printer);
    const int pad = fm.horizontalAdvance(QLatin1Char('M')) / 2;
    const int rowHeight = fm.height() + pad;

    bool rowHeaderText = false;
    for (const GridHeader& h : table.rowHeaders)
        rowHeaderText = rowHeaderText || !h.text.isEmpty();

    // Column widths: the widest text of each column, the row header column first when it has text.
    std::vector<int> widths;
    if (rowHeaderText) {
        int w = 0;
        for (const GridHeader& h : table.rowHeaders)
            w = std::max(w, fm.horizontalAdvance(h.text));
        widths.push_back(w + 2 * pad);
    }
    for (int c = 0; c < table.columns; ++c) {
        int w = fm.horizontalAdvance(table.columnHeaders[static_cast<size_t>(c)].text);
        for (int r = 0; r < table.rows; ++r)
            w = std::max(w, fm.horizontalAdvance(table.displayText(r, c)));
        widths.push_back(w + 2 * pad);
    }
    int total = 0;
    for (int w : widths)
        total += w;

    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const double scale = total > page.width() && total > 0 ? page.width() / total : 1.0;
    painter.scale(scale, scale);
    const double pageHeight = page.height() / scale;
    const int titleHeight = rowHeight * 2;
    const int rowsPerPage = std::max(1, static_cast<int>((pageHeight - titleHeight) / rowHeight) - 1);

    auto drawRow = [&](int y, const QStringList& texts, bool header) {
        int x = 0;
        for (size_t i = 0; i < widths.size() && i < static_cast<size_t>(texts.size()); ++i) {
            const QRect cellRect(x, y, widths[i], rowHeight);
            if (header) painter.fillRect(cellRect, QColor(230, 230, 230));
            painter.drawRect(cellRect);
            const bool left = header || (rowHeaderText && i == 0);
            painter.drawText(cellRect.adjusted(pad, 0, -pad, 0),
                             Qt::AlignVCenter | (left ? Qt::AlignLeft : Qt::AlignRight), texts[static_cast<int>(i)]);
            x += widths[i];
        }
    };

    QStringList header;
    if (rowHeaderText) header << QString();
    for (int c = 0; c < table.columns; ++c)
        header << table.columnHeaders[static_cast<size_t>(c)].text;

    int row = 0;
    do {
        painter.drawText(QRect(0, 0, static_cast<int>(page.width() / scale), rowHeight), Qt::AlignLeft, title);
        int y = titleHeight;
        drawRow(y, header, true);
        y += rowHeight;
        for (int n = 0; n < rowsPerPage && row < table.rows; ++n, ++row) {
            QStringList texts;
            if (rowHeaderText) texts << table.rowHeaders[static_cast<size_t>(row)].text;
            for (int c = 0; c < table.columns; ++c)
                texts << table.displayText(row, c);
            drawRow(y, texts, false);
            y += rowHeight;
        }
        if (row < table.rows && !printer.newPage()) {
            painter.end();
            return false;
        }
    } while (row < table.rows);
    return painter.end();
}

} // namespace quadrel
