#include "TAboutBox.h"

#include "app/Icons.h"
#include "common/TextFormat.h"
#include "KelvarVersion.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>

namespace kelvar::app {

const QString TAboutBox::WebAddress = QStringLiteral("www.example.org");
const QString TAboutBox::MailAddress = QStringLiteral("support@example.org");
const QSize TAboutBox::DesignedSize(394, 281);

namespace {

// Kilobytes, rounded, with the locale's digit grouping and " KB"; no kilobyte reads "0 KB".
QString kilobytes(quint64 bytes)
{
    const auto kb = static_cast<qulonglong>(std::llround(bytes / 1024.0));
    QLocale grouped = text::locale();
    grouped.setNumberOptions(QLocale::DefaultNumberOptions);
    return grouped.toString(kb) + QStringLiteral(" KB");
}

QLabel *centred(const QString &text, const char *name, bool bold, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignCenter);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

QLabel *link(const QString &text, const char *name, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(palette);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

} // namespace

QString TAboutBox::totalMemoryLine(quint64 bytes)
{
    return QStringLiteral("Всего физической памяти: ") + kilobytes(bytes);
}

QString TAboutBox::availableMemoryLine(quint64 bytes)
{
    return QStringLiteral("Доступно физической памяти: ") + kilobytes(bytes);
}

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_memory(&platform::memoryStatus)
    , m_open([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("О программе"));

    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    auto *image2 = new QLabel(panel);
    image2->setObjectName(QStringLiteral("Image2"));
    image2->setFixedSize(36, 36);
    image2->setFrameShape(QFrame::Panel);
    image2->setFrameShadow(QFrame::Sunken);
    image2->setAlignment(Qt::AlignCenter);
    // The program's icon, set when the window is created.
    image2->setPixmap(appIcon().pixmap(32, 32));
    auto *panelLayout = new QGridLayout(panel);
    panelLayout->addWidget(image2, 0, 0, 3, 1, Qt::AlignTop);
    panelLayout->addWidget(centred(QStringLiteral("3-х тарифный 3-х фазный эл. счетчик"), "ProductName", true, panel), 0, 1);
    panelLayout->addWidget(centred(QStringLiteral("Программирование Kelvar 517"), "Label11", true, panel), 1, 1);
    panelLayout->addWidget(centred(QStringLiteral("Версия ") + QLatin1String(ProgramVersion), "Version", false, panel), 2, 1);
    panelLayout->setColumnStretch(1, 1);

    auto *group = new QGroupBox(QStringLiteral("Наши координаты"), this);
    group->setObjectName(QStringLiteral("GroupBox1"));
    m_label3 = link(WebAddress, "Label3", group);
    m_label6 = link(MailAddress, "Label6", group);
    m_label3->installEventFilter(this);
    m_label6->installEventFilter(this);
    auto *contacts = new QGridLayout(group);
    contacts->addWidget(new QLabel(QStringLiteral("Web-страница:"), group), 0, 0);
    contacts->addWidget(m_label3, 0, 1);
    contacts->addWidget(new QLabel(QStringLiteral("E-mail:"), group), 1, 0);
    contacts->addWidget(m_label6, 1, 1);
    contacts->addWidget(new QLabel(QStringLiteral("Телефоны:"), group), 2, 0, Qt::AlignTop);
    auto *phone1 = new QLabel(QStringLiteral("(000) 000-00-00"), group);
    phone1->setObjectName(QStringLiteral("Label9"));
    auto *phone2 = new QLabel(QStringLiteral("(000) 000-00-01"), group);
    phone2->setObjectName(QStringLiteral("Label10"));
    contacts->addWidget(phone1, 2, 1);
    contacts->addWidget(phone2, 3, 1);
    contacts->setColumnStretch(1, 1);

    auto *image1 = new QLabel(this);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setPixmap(aboutPicture());
    image1->setFixedSize(165, 93);

    m_label1 = new QLabel(this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label2 = new QLabel(this);
    m_label2->setObjectName(QStringLiteral("Label2"));

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *middle = new QHBoxLayout;
    middle->addWidget(group, 1);
    middle->addWidget(image1, 0, Qt::AlignVCenter);
    auto *bottom = new QHBoxLayout;
    auto *memory = new QVBoxLayout;
    memory->addWidget(m_label1);
    memory->addWidget(m_label2);
    bottom->addLayout(memory, 1);
    bottom->addWidget(ok, 0, Qt::AlignBottom);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(panel);
    layout->addLayout(middle);
    layout->addLayout(bottom);
}

void TAboutBox::FormActivate()
{
    const platform::MemoryStatus status = m_memory();
    m_label1->setText(totalMemoryLine(status.totalPhysical));
    m_label2->setText(availableMemoryLine(status.availablePhysical));
}

void TAboutBox::Label3Click()
{
    m_open(QUrl::fromUserInput(m_label3->text()));
}

void TAboutBox::Label6Click()
{
    m_open(QUrl(QStringLiteral("mailto:") + m_label6->text()));
}

void TAboutBox::showEvent(QShowEvent *event)
{
    FormActivate();
    // The window keeps its designed size unless its texts need more room
    // (fonts differ between workstations; the memory lines vary): every text
    // shows whole, and the size stays fixed while it is open.
    setFixedSize(sizeHint().expandedTo(DesignedSize));
    if (parentWidget())
        move(parentWidget()->window()->geometry().center() - rect().center());
    QDialog::showEvent(event);
}

bool TAboutBox::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == m_label3)
            Label3Click();
        else if (watched == m_label6)
            Label6Click();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kelvar::app
