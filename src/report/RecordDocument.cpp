#include "RecordDocument.h"

#include "common/TextFormat.h"
#include "schedule/TariffColors.h"

#include <QFont>
#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <functional>
#include <vector>

namespace kelvar::report {

namespace {

using schedule::DayTypeCount;
using schedule::MonthCount;

const QColor EmptyCell(0xA0, 0xA0, 0xA4);   // a cell without zones, as in the editor
const QColor HeaderCell(0xE6, 0xE6, 0xE6);
const QColor NoTariff(0x80, 0x80, 0x80);    // before the first zone of a day, and tariffs 4..8
const QColor Warning(0xC0, 0x00, 0x00);

QColor fromRef(quint32 ref)
{
    return QColor(schedule::colorRefRed(ref), schedule::colorRefGreen(ref), schedule::colorRefBlue(ref));
}

enum class Style { Title, Heading, Text, Bold, Small };

// One piece of the page flow: its height, and how it draws with its top at y.
struct Block {
    int height = 0;
    bool keepWithNext = false; // a heading stays on the page of what follows it
    std::function<void(QPainter &, int y)> draw;
};

class Layout
{
public:
    Layout(QPainter &painter, const QRect &page, const ProgrammingRecord &record)
        : m_p(painter), m_page(page), m_r(record), m_unit(page.width() / 180.0)
    {
    }

    int mm(double v) const { return qRound(v * m_unit); }

    QFont font(Style style) const
    {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setStyleHint(QFont::SansSerif);
        switch (style) {
        case Style::Title: f.setPointSizeF(14); f.setBold(true); break;
        case Style::Heading: f.setPointSizeF(11); f.setBold(true); break;
        case Style::Text: f.setPointSizeF(9); break;
        case Style::Bold: f.setPointSizeF(9); f.setBold(true); break;
        case Style::Small: f.setPointSizeF(7.5); break;
        }
        return f;
    }

    // The height of text wrapped into a width.
    int textHeight(const QString &text, Style style, int width) const
    {
        const QFontMetrics fm(font(style), m_p.device());
        return fm.boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, text).height();
    }

    void text(int x, int y, int width, const QString &text, Style style, Qt::Alignment align = Qt::AlignLeft,
              const QColor &color = Qt::black)
    {
        m_p.setFont(font(style));
        m_p.setPen(color);
        m_p.drawText(QRect(x, y, width, 100000), int(align | Qt::AlignTop) | Qt::TextWordWrap, text);
    }

    void build();
    int paginate();
    void paint(QPagedPaintDevice &device, int pages);

private:
    void heading(const QString &caption);
    void lines(const QList<RecordLine> &rows);
    void row(const QStringList &cells, const std::vector<double> &widths, Style style, bool shaded,
             const QColor &color = Qt::black);
    void paragraph(const QString &text, Style style, const QColor &color = Qt::black);
    void grid();
    void legend();
    void programmes();
    void tables();
    void runningHead(int page, int pages);

    QPainter &m_p;
    QRect m_page;
    const ProgrammingRecord &m_r;
    double m_unit; // device units per millimetre of the page's width (180 mm)
    std::vector<Block> m_blocks;
    std::vector<int> m_pageOf; // page of each block, from 0
    std::vector<int> m_top;    // its top on that page
    int m_bodyTop = 0;
    int m_bodyBottom = 0;
};

void Layout::heading(const QString &caption)
{
    const int h = textHeight(caption, Style::Heading, m_page.width()) + mm(5);
    m_blocks.push_back({h, true, [this, caption](QPainter &, int y) {
                            text(0, y + mm(3.5), m_page.width(), caption, Style::Heading);
                        }});
}

void Layout::row(const QStringList &cells, const std::vector<double> &widths, Style style, bool shaded,
                 const QColor &color)
{
    const int pad = mm(1.2);
    int h = 0;
    for (size_t i = 0; i < widths.size(); ++i)
        h = std::max(h, textHeight(cells.value(int(i)), style, mm(widths[i]) - 2 * pad));
    h += 2 * pad;
    m_blocks.push_back({h, false, [=, this](QPainter &p, int y) {
                            int x = 0;
                            if (shaded)
                                p.fillRect(QRect(0, y, m_page.width(), h), HeaderCell);
                            p.setPen(QPen(Qt::black, 0));
                            p.drawLine(0, y + h, m_page.width(), y + h);
                            for (size_t i = 0; i < widths.size(); ++i) {
                                text(x + pad, y + pad, mm(widths[i]) - 2 * pad, cells.value(int(i)), style,
                                     Qt::AlignLeft, color);
                                x += mm(widths[i]);
                            }
                        }});
}

void Layout::lines(const QList<RecordLine> &rows)
{
    for (const RecordLine &l : rows)
        row({l.caption, l.value}, {100, 80}, Style::Text, false);
}

void Layout::paragraph(const QString &s, Style style, const QColor &color)
{
    const int h = textHeight(s, style, m_page.width()) + mm(1.5);
    m_blocks.push_back({h, false, [=, this](QPainter &, int y) {
                            text(0, y + mm(0.75), m_page.width(), s, style, Qt::AlignLeft, color);
                        }});
}

// The year grid as the editor lays it out (months across, day types down),
// each cell showing its day programme as the editor's day bar does: the
// tariff in the lower half, the tariff above the limit in the upper half,
// each from its zone's start to the next; gray before the first zone.
void Layout::grid()
{
    const int cw = m_page.width() / (MonthCount + 1);
    const int rh = mm(8);
    const int h = rh * (DayTypeCount + 1) + mm(2);
    m_blocks.push_back({h, false, [=, this](QPainter &p, int top) {
        const auto cell = [&](int col, int row) { return QRect(col * cw, top + row * rh, cw, rh); };
        const auto tariff = [this](int n) {
            return n >= 1 && n <= 3 ? fromRef(m_r.context.tariffColors[size_t(n - 1)]) : NoTariff;
        };
        for (int col = 0; col <= MonthCount; ++col) {
            for (int row = 0; row <= DayTypeCount; ++row) {
                const QRect r = cell(col, row);
                if (col == 0 || row == 0) {
                    p.fillRect(r, HeaderCell);
                    const QString caption = row == 0 ? schedule::monthShortName(col) : schedule::dayTypeShortName(row);
                    p.setFont(font(Style::Bold));
                    p.setPen(row >= 6 && col == 0 ? Qt::red : Qt::black);
                    p.drawText(r, Qt::AlignCenter, caption);
                } else if (const int index = m_r.programmeOf(col, row); index < 0) {
                    p.fillRect(r, EmptyCell);
                } else {
                    p.fillRect(r, NoTariff);
                    const int half = r.height() / 2;
                    for (const schedule::Zone &z : m_r.programmes.at(index).zones) {
                        const int x = r.left() + r.width() * z.start / (schedule::MinutesPerDay - 1);
                        p.fillRect(QRect(x, r.top(), r.right() + 1 - x, half), tariff(z.exceedTariff));
                        p.fillRect(QRect(x, r.top() + half, r.right() + 1 - x, r.height() - half), tariff(z.tariff));
                    }
                    // The programme's number, on a white label so it reads on any colour.
                    p.setFont(font(Style::Small));
                    const QString number = QString::number(index + 1);
                    const QFontMetrics fm(p.font(), p.device());
                    QRect label = fm.boundingRect(number).adjusted(-mm(0.6), 0, mm(0.6), 0);
                    label.moveCenter(r.center());
                    p.fillRect(label, Qt::white);
                    p.setPen(Qt::black);
                    p.drawText(label, Qt::AlignCenter, number);
                }
                p.setPen(QPen(Qt::black, 0));
                p.setBrush(Qt::NoBrush);
                p.drawRect(r);
            }
        }
    }});
}

void Layout::legend()
{
    struct Item {
        QColor color;
        QString text;
    };
    QList<Item> items;
    for (int n = 1; n <= 3; ++n)
        items << Item{fromRef(m_r.context.tariffColors[size_t(n - 1)]), QStringLiteral("тариф %1").arg(n)};
    items << Item{NoTariff, QStringLiteral("до первой зоны суток")} << Item{EmptyCell, QStringLiteral("нет зон")};
    const int h = mm(6);
    m_blocks.push_back({h, false, [=, this](QPainter &p, int y) {
        int x = 0;
        const QFontMetrics fm(font(Style::Text), p.device());
        for (const Item &item : items) {
            const QRect swatch(x, y + mm(1), mm(8), mm(4));
            p.fillRect(swatch, item.color);
            p.setPen(QPen(Qt::black, 0));
            p.drawRect(swatch);
            text(x + mm(10), y + mm(1), mm(50), item.text, Style::Text);
            x += mm(12) + fm.horizontalAdvance(item.text) + mm(4);
        }
    }});
    paragraph(QStringLiteral("В ячейке: номер суточной программы; нижняя половина — тариф по расписанию, "
                             "верхняя — тариф при превышении лимита, каждый от начала своей зоны."),
              Style::Small);
}

void Layout::programmes()
{
    const std::vector<double> widths{30, 30, 60, 60};
    for (int i = 0; i < m_r.programmes.size(); ++i) {
        const DayProgramme &prog = m_r.programmes.at(i);
        const QString title = QStringLiteral("Программа %1 — %2").arg(i + 1).arg(cellsText(prog.cells));
        const int th = textHeight(title, Style::Bold, m_page.width()) + mm(3);
        m_blocks.push_back({th, true, [=, this](QPainter &, int y) {
                                text(0, y + mm(2), m_page.width(), title, Style::Bold);
                            }});
        row({QStringLiteral("Начало"), QStringLiteral("Тариф"), QStringLiteral("Лимит мощности"),
             QStringLiteral("Тариф при превышении лимита")},
            widths, Style::Bold, true);
        m_blocks.back().keepWithNext = true;
        for (const schedule::Zone &z : prog.zones) {
            const QString limit = z.limit == 0 ? QStringLiteral("0")
                                               : QStringLiteral("%1 (%2 Вт)").arg(z.limit).arg(text::fixed(
                                                     schedule::powerLimitWatts(z.limit, m_r.limitCoefficient), 1));
            row({z.time(), QString::number(z.tariff), limit, QString::number(z.exceedTariff)}, widths, Style::Text,
                false);
        }
    }
    if (m_r.programmes.isEmpty())
        paragraph(QStringLiteral("Тарифное расписание пусто."), Style::Text);
}

void Layout::tables()
{
    heading(QStringLiteral("Праздники, переносы, коэффициент лимита"));
    QStringList holidays;
    for (const schedule::Holiday &h : m_r.holidays)
        holidays << QStringLiteral("%1.%2").arg(h.day, 2, 10, QLatin1Char('0')).arg(h.month, 2, 10, QLatin1Char('0'));
    QStringList transfers;
    for (const schedule::Transfer &t : m_r.transfers)
        transfers << QStringLiteral("%1 — как %2").arg(text::shortDate(t.date), schedule::dayTypeName(t.dayType));
    lines({{QStringLiteral("Праздники"), holidays.isEmpty() ? QStringLiteral("нет") : holidays.join(QStringLiteral(", "))},
           {QStringLiteral("Переносы"), transfers.isEmpty() ? QStringLiteral("нет") : transfers.join(QStringLiteral("; "))},
           {QStringLiteral("Коэффициент лимита"), QString::number(m_r.limitCoefficient)}});

    heading(QStringLiteral("Контрольная сумма тарифного расписания"));
    lines({{QStringLiteral("По данным счетчика"),
            m_r.reportedChecksum.isEmpty() ? QStringLiteral("не прочитана") : m_r.reportedChecksum},
           {QStringLiteral("Вычислена по прочитанному расписанию"), QString::number(m_r.computedChecksum)}});
    if (m_r.checksumsDiffer())
        paragraph(QStringLiteral("ВНИМАНИЕ: контрольные суммы не совпадают"), Style::Heading, Warning);
    else
        paragraph(QStringLiteral("Контрольные суммы совпадают."), Style::Text);
}

void Layout::build()
{
    const QString title = recordTitle();
    const int th = textHeight(title, Style::Title, m_page.width()) + mm(4);
    m_blocks.push_back({th, false, [=, this](QPainter &, int y) {
                            text(0, y, m_page.width(), title, Style::Title, Qt::AlignHCenter);
                        }});
    heading(QStringLiteral("Счетчик"));
    lines(m_r.meter);
    heading(QStringLiteral("Установки"));
    lines(m_r.settings);
    heading(QStringLiteral("Тарифное расписание"));
    grid();
    legend();
    programmes();
    tables();
    heading(QStringLiteral("Чтение"));
    QList<RecordLine> who{{QStringLiteral("Рабочее место"), m_r.context.workstation},
                          {QStringLiteral("Оператор"), m_r.context.operatorName},
                          {QStringLiteral("Дата и время чтения"), text::dateTime(m_r.context.readAt)}};
    if (!m_r.context.operationNumber.isEmpty())
        who << RecordLine{QStringLiteral("Номер операции"), m_r.context.operationNumber};
    lines(who);
}

// Places the blocks on pages: a block that does not fit goes to the next
// page, and so does a heading together with the block after it.
int Layout::paginate()
{
    const int head = textHeight(QStringLiteral("W"), Style::Small, m_page.width());
    m_bodyTop = head + mm(4);
    m_bodyBottom = m_page.height() - head - mm(4);
    int page = 0;
    int y = m_bodyTop;
    m_pageOf.assign(m_blocks.size(), 0);
    m_top.assign(m_blocks.size(), 0);
    for (size_t i = 0; i < m_blocks.size(); ++i) {
        int need = m_blocks[i].height;
        for (size_t j = i; m_blocks[j].keepWithNext && j + 1 < m_blocks.size(); ++j)
            need += m_blocks[j + 1].height;
        if (y + need > m_bodyBottom && y > m_bodyTop) {
            ++page;
            y = m_bodyTop;
        }
        m_pageOf[i] = page;
        m_top[i] = y;
        y += m_blocks[i].height;
    }
    return page + 1;
}

void Layout::runningHead(int page, int pages)
{
    const QString serial = QStringLiteral("Счетчик № %1").arg(m_r.serialNumber);
    text(0, 0, m_page.width(), recordTitle(), Style::Small);
    text(0, 0, m_page.width(), serial, Style::Small, Qt::AlignRight);
    m_p.setPen(QPen(Qt::black, 0));
    m_p.drawLine(0, m_bodyTop - mm(2), m_page.width(), m_bodyTop - mm(2));
    m_p.drawLine(0, m_bodyBottom + mm(2), m_page.width(), m_bodyBottom + mm(2));
    const int footY = m_bodyBottom + mm(3);
    text(0, footY, m_page.width(), serial + QStringLiteral(", ") + text::dateTime(m_r.context.readAt), Style::Small);
    text(0, footY, m_page.width(), QStringLiteral("Лист %1 из %2").arg(page + 1).arg(pages), Style::Small,
         Qt::AlignRight);
}

void Layout::paint(QPagedPaintDevice &device, int pages)
{
    size_t next = 0;
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            device.newPage();
        runningHead(page, pages);
        for (; next < m_blocks.size() && m_pageOf[next] == page; ++next)
            m_blocks[next].draw(m_p, m_top[next]);
    }
}

} // namespace

QString recordTitle()
{
    return QStringLiteral("Протокол программирования счетчика");
}

int paintRecord(const ProgrammingRecord &record, QPagedPaintDevice &device)
{
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 12, 10, 12),
                                     QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    painter.setRenderHint(QPainter::Antialiasing, false);
    Layout layout(painter, QRect(0, 0, device.width(), device.height()), record);
    layout.build();
    const int pages = layout.paginate();
    layout.paint(device, pages);
    painter.end();
    return pages;
}

bool writeRecordPdf(const ProgrammingRecord &record, const QString &path, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    {
        QPdfWriter pdf(&file);
        pdf.setResolution(300);
        pdf.setTitle(recordTitle() + QStringLiteral(" № ") + record.serialNumber);
        pdf.setCreator(QStringLiteral("kelvar517"));
        if (paintRecord(record, pdf) == 0) {
            file.cancelWriting();
            if (error)
                *error = QStringLiteral("%1: the PDF could not be drawn").arg(path);
            return false;
        }
    }
    if (!file.commit()) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace kelvar::report
