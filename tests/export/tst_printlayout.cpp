// The printed page's arithmetic, on a canvas whose characters are 10 units
// wide and whose lines are 20 (header, cells), 10 (date line) or 30 (title)
// units high.

#include "export/PrintLayout.h"

#include <QtTest>

using namespace kelvar::exporting;

namespace {

struct Op {
    enum Kind { Text, Line, Page } kind;
    int x = 0, y = 0, x2 = 0, y2 = 0;
    QString text;
    PrintFont font = PrintFont::Cell;
};

class RecordingCanvas : public PrintCanvas {
public:
    int textWidth(const QString &text, PrintFont) const override { return 10 * int(text.size()); }
    int textHeight(PrintFont font) const override
    {
        switch (font) {
        case PrintFont::DateLine: return 10;
        case PrintFont::Title: return 30;
        default: return 20;
        }
    }
    void drawText(int x, int y, const QString &text, PrintFont font) override
    {
        ops.push_back({Op::Text, x, y, 0, 0, text, font});
    }
    void drawLine(int x1, int y1, int x2, int y2) override { ops.push_back({Op::Line, x1, y1, x2, y2, {}, {}}); }
    void newPage() override { ops.push_back(Op{Op::Page, 0, 0, 0, 0, {}, {}}); }

    // The texts of page p (0-based) in drawing order.
    QStringList texts(int page) const
    {
        QStringList out;
        int current = 0;
        for (const Op &op : ops) {
            if (op.kind == Op::Page)
                ++current;
            else if (op.kind == Op::Text && current == page)
                out << op.text;
        }
        return out;
    }
    const Op &text(const QString &t, int nth = 0) const
    {
        for (const Op &op : ops) {
            if (op.kind == Op::Text && op.text == t && nth-- == 0)
                return op;
        }
        static const Op none{Op::Page, 0, 0, 0, 0, {}, {}};
        return none;
    }

    std::vector<Op> ops;
};

TextGrid grid(int rows, const QStringList &captions = {"Время", "Событие"})
{
    QList<QStringList> list;
    for (int i = 0; i < rows; ++i)
        list.append({QString("r%1").arg(i + 1), "x"});
    return makeGrid(captions, list);
}

} // namespace

class TestPrintLayout : public QObject {
    Q_OBJECT
private slots:
    // Column widths are the widest text + 16; the table widens by 6/5 steps
    // until it reaches four fifths of the page; too wide a table turns the
    // page, and one wider than the turned page is printed as it is.
    void columns_data()
    {
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<int>("pageWidth");
        QTest::addColumn<int>("landscapeWidth");
        QTest::addColumn<bool>("landscape");
        QTest::addColumn<std::vector<int>>("widths");
        QTest::newRow("fits four fifths already: unchanged")
            << QStringList{"abcd", "ab"} << 100 << 140 << false << std::vector<int>{56, 36};
        // T = 95 of a page of 190: 56 36 -> 67 43 (T 113) -> 80 51 (134) -> 96 61 (160 >= 152)
        QTest::newRow("half the page: widened by 6/5 until four fifths")
            << QStringList{"abcd", "ab"} << 190 << 260 << false << std::vector<int>{96, 61};
        // T = 95 does not fit 90 across; the turned page of 100 needs 80.
        QTest::newRow("wider than the page: landscape, widened for its width")
            << QStringList{"abcd", "ab"} << 90 << 100 << true << std::vector<int>{56, 36};
        QTest::newRow("wider than the turned page: landscape, unchanged")
            << QStringList{"abcdefghij", "abcdefghij"} << 150 << 200 << true << std::vector<int>{116, 116};
    }
    void columns()
    {
        QFETCH(QStringList, captions);
        QFETCH(int, pageWidth);
        QFETCH(int, landscapeWidth);
        QFETCH(bool, landscape);
        QFETCH(std::vector<int>, widths);
        RecordingCanvas canvas;
        const PrintColumns plan = planColumns(makeGrid(captions, {{"a", "b"}}), canvas, pageWidth, landscapeWidth);
        QCOMPARE(plan.landscape, landscape);
        QCOMPARE(plan.widths, widths);
    }

    // Every row is a ruled box: the cell texts right-aligned 8 units inside
    // the next rule (the last one inside the table's right edge), centred
    // vertically; the table centred on the page.
    void onePage()
    {
        RecordingCanvas canvas;
        const TextGrid g = grid(1);
        const PrintColumns plan = planColumns(g, canvas, 190, 300); // widths 66, 86: T 155, over 4/5 of 190
        QCOMPARE(plan.tableWidth, 155);
        QCOMPARE(paintGrid(g, "Заголовок", "9 декабря 2026 г. 14:05:09", plan, 190, 1000, canvas), 1);
        QCOMPARE(canvas.texts(0), (QStringList{"9 декабря 2026 г. 14:05:09", "Заголовок", "Время", "Событие", "r1", "x"}));
        // Date line at (10, 0); title centred 15 units lower; header row from 60.
        QCOMPARE(canvas.text("9 декабря 2026 г. 14:05:09").x, 10);
        QCOMPARE(canvas.text("Заголовок").x, (190 - 90) / 2);
        QCOMPARE(canvas.text("Заголовок").y, 15);
        // X0 = 17, X1 = 172; rows 24 high: header 60..84, data 84..108.
        QCOMPARE(canvas.text("Время").x, 17 + 66 + 1 - 8 - 50);
        QCOMPARE(canvas.text("Событие").x, 172 - 8 - 70);
        QCOMPARE(canvas.text("Время").y, 62);
        QCOMPARE(canvas.text("x").x, 172 - 8 - 10);
        QCOMPARE(canvas.text("x").y, 86);
        QCOMPARE(canvas.text("Время").font, PrintFont::Header);
        QCOMPARE(canvas.text("x").font, PrintFont::Cell);
        int verticals = 0;
        QSet<int> horizontals;
        for (const Op &op : canvas.ops) {
            if (op.kind != Op::Line)
                continue;
            if (op.x == op.x2) {
                ++verticals;
                QVERIFY(op.x == 17 || op.x == 84 || op.x == 172);
            } else {
                QCOMPARE(op.x, 17);
                QCOMPARE(op.x2, 172);
                horizontals.insert(op.y);
            }
        }
        QCOMPARE(verticals, 6);
        QCOMPARE(horizontals, (QSet<int>{60, 84, 108}));
    }

    void emptyListPrintsTheHeaderOnly()
    {
        RecordingCanvas canvas;
        const TextGrid g = grid(0);
        QCOMPARE(paintGrid(g, "T", "d", planColumns(g, canvas, 200, 300), 200, 1000, canvas), 1);
        QCOMPARE(canvas.texts(0), (QStringList{"d", "T", "Время", "Событие"}));
    }

    // A row that would pass the page's bottom starts a new page of the same
    // document: the page number at PW div 20, the title, the header again.
    void pageBreaks_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("pages");
        // Page 1: rows of 24 from 84 to 300 (9 rows); later pages start at
        // 20, page number line 30, title 45, header 95..119, then 7 rows.
        QTest::newRow("nine rows fill the first page") << "T" << 9 << 1;
        QTest::newRow("the tenth row starts page 2") << "T" << 10 << 2;
        QTest::newRow("sixteen rows fill two pages") << "T" << 9 + 7 << 2;
        QTest::newRow("the seventeenth row starts page 3") << "T" << 9 + 7 + 1 << 3;
        QTest::newRow("no title: the header follows the page number") << "" << 10 + 2 << 2;
    }
    void pageBreaks()
    {
        QFETCH(QString, title);
        QFETCH(int, rows);
        QFETCH(int, pages);
        RecordingCanvas canvas;
        const TextGrid g = grid(rows);
        const PrintColumns plan = planColumns(g, canvas, 400, 600);
        QCOMPARE(paintGrid(g, title, "d", plan, 400, 300, canvas), pages);
        QStringList all;
        for (int p = 0; p < pages; ++p) {
            QStringList texts = canvas.texts(p);
            const QStringList top = p == 0 ? QStringList{"d"} : QStringList{QString("- %1 -").arg(p + 1)};
            const QStringList head = title.isEmpty() ? QStringList{} : QStringList{title};
            QCOMPARE(texts.mid(0, 1), top);
            QCOMPARE(texts.mid(1, head.size() + 2), head + QStringList({"Время", "Событие"}));
            all += texts.mid(1 + head.size() + 2);
        }
        // Every row once, in order, over all pages.
        QStringList expected;
        for (int i = 0; i < rows; ++i)
            expected << QString("r%1").arg(i + 1) << "x";
        QCOMPARE(all, expected);
        // No text reaches below the page.
        for (const Op &op : canvas.ops)
            QVERIFY(op.kind != Op::Text || op.y + 20 <= 300);
        if (pages > 1) {
            QCOMPARE(canvas.text("- 2 -").y, 400 / 20);
            QCOMPARE(canvas.text("- 2 -").x, (400 - 50) / 2);
        }
    }
};

QTEST_GUILESS_MAIN(TestPrintLayout)
#include "tst_printlayout.moc"
