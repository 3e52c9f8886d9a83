#include "SettingsTemplateActions.h"

#include "app/tabs/SettingsTab.h"
#include "link/ExchangeEngine.h"
#include "meter/MeterInfo.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kelvar::app {

namespace {

const QString ErrorTitle = QStringLiteral("Ошибка");

QPushButton *button(const char *name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setAccessibleName(QString(caption).remove(QChar(0x2026)));
    return b;
}

QString stateText(meter::ComparisonRow::State state)
{
    switch (state) {
    case meter::ComparisonRow::State::Match:
        return QStringLiteral("совпадает");
    case meter::ComparisonRow::State::Differs:
        return QStringLiteral("отличается");
    case meter::ComparisonRow::State::NotCompared:
        break;
    }
    return QStringLiteral("не сравнивается");
}

} // namespace

SettingsTemplateActions::SettingsTemplateActions(SettingsTab &tab, QWidget *page, const TabServices &services)
    : QObject(page)
    , m_tab(tab)
    , m_page(page)
    , m_engine(services.engine)
    , m_info(services.info)
    , m_message(services.message)
    , m_watch(services.dispatcher, services.info)
{
    PanelTemplate = new QWidget(page);
    PanelTemplate->setObjectName(QStringLiteral("PanelTemplate"));
    BtnSaveTemplate = button("BtnSaveTemplate", QStringLiteral("Сохранить шаблон…"), PanelTemplate);
    BtnLoadTemplate = button("BtnLoadTemplate", QStringLiteral("Загрузить шаблон…"), PanelTemplate);
    BtnCompareTemplate = button("BtnCompareTemplate", QStringLiteral("Сравнить со счетчиком"), PanelTemplate);
    auto *layout = new QHBoxLayout(PanelTemplate);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(BtnSaveTemplate);
    layout->addWidget(BtnLoadTemplate);
    layout->addWidget(BtnCompareTemplate);
    layout->addStretch();

    connect(BtnSaveTemplate, &QPushButton::clicked, this, &SettingsTemplateActions::BtnSaveTemplateClick);
    connect(BtnLoadTemplate, &QPushButton::clicked, this, &SettingsTemplateActions::BtnLoadTemplateClick);
    connect(BtnCompareTemplate, &QPushButton::clicked, this, &SettingsTemplateActions::BtnCompareTemplateClick);
    connect(&m_watch, &meter::PollCycleWatch::cycleComplete, this, &SettingsTemplateActions::showComparison);
    // A lost link ends the reading; the button is offered again.
    connect(&m_engine, &link::ExchangeEngine::connectionChanged, this, [this](bool connected) {
        if (!connected) {
            m_watch.stop();
            BtnCompareTemplate->setEnabled(true);
        }
    });
}

meter::SettingsTemplate SettingsTemplateActions::currentTemplate() const
{
    return {m_tab.values(), m_tab.clockFixed()};
}

QString SettingsTemplateActions::choose(bool save)
{
    if (m_choose)
        return m_choose(save);
    const QString filter = QStringLiteral("Шаблоны установок (*.ini);;Все файлы (*)");
    if (!save)
        return QFileDialog::getOpenFileName(m_page, QStringLiteral("Загрузить шаблон"), QString(), filter);
    QFileDialog dialog(m_page, QStringLiteral("Сохранить шаблон"), QString(), filter);
    dialog.setObjectName(QStringLiteral("SaveTemplateDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("ini"));
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

void SettingsTemplateActions::message(QMessageBox::Icon icon, const QString &text)
{
    showTabMessage(m_message, m_page, icon, ErrorTitle, text);
}

void SettingsTemplateActions::BtnSaveTemplateClick()
{
    const QString path = choose(true);
    if (path.isEmpty())
        return;
    QString error;
    if (!meter::saveTemplate(path, currentTemplate(), &error))
        message(QMessageBox::Critical, error);
}

void SettingsTemplateActions::BtnLoadTemplateClick()
{
    const QString path = choose(false);
    if (path.isEmpty())
        return;
    QString error;
    const auto tpl = meter::loadTemplate(path, &error);
    if (!tpl) {
        message(QMessageBox::Critical, QStringLiteral("Шаблон не загружен. ") + error);
        return;
    }
    m_tab.setValues(tpl->values, tpl->fixedClock);
}

void SettingsTemplateActions::BtnCompareTemplateClick()
{
    if (!m_engine.isConnected()) {
        message(QMessageBox::Warning, QStringLiteral("Нет связи со счетчиком."));
        return;
    }
    // What the tab shows now is the template; the meter is read afresh for it.
    m_compared = currentTemplate();
    BtnCompareTemplate->setEnabled(false);
    m_watch.start();
}

void SettingsTemplateActions::showComparison()
{
    m_watch.stop();
    BtnCompareTemplate->setEnabled(true);
    // A clock set by hand has run on since it was written, by an unknown time.
    const QDateTime expected = m_compared.fixedClock ? QDateTime() : QDateTime::currentDateTime();
    const QList<meter::ComparisonRow> rows
        = meter::compareTemplate(m_compared, meter::readingFrom(m_info, m_engine), expected);
    if (!m_dialog) {
        m_dialog = new QDialog(m_page);
        m_dialog->setObjectName(QStringLiteral("FormCompare"));
        m_dialog->setWindowTitle(QStringLiteral("Сравнение со счетчиком"));
        m_grid = new QTableWidget(0, 4, m_dialog);
        m_grid->setObjectName(QStringLiteral("GridCompare"));
        m_grid->setAccessibleName(QStringLiteral("Сравнение со счетчиком"));
        m_grid->setHorizontalHeaderLabels({QStringLiteral("Установка"), QStringLiteral("Счетчик"),
                                           QStringLiteral("Шаблон"), QStringLiteral("Результат")});
        m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_grid->verticalHeader()->hide();
        m_grid->horizontalHeader()->setStretchLastSection(true);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, m_dialog);
        buttons->setObjectName(QStringLiteral("ButtonsCompare"));
        QPushButton *close = buttons->button(QDialogButtonBox::Close);
        close->setObjectName(QStringLiteral("BtnCloseCompare"));
        close->setText(QStringLiteral("Закрыть"));
        connect(buttons, &QDialogButtonBox::rejected, m_dialog, &QDialog::reject);
        auto *layout = new QVBoxLayout(m_dialog);
        layout->addWidget(m_grid);
        layout->addWidget(buttons);
        m_dialog->resize(600, 420);
    }
    m_grid->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        const meter::ComparisonRow &r = rows.at(i);
        const QStringList cells{r.key, r.meter, r.expected, stateText(r.state)};
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells.at(c));
            if (r.state == meter::ComparisonRow::State::Differs)
                item->setForeground(Qt::red);
            m_grid->setItem(i, c, item);
        }
    }
    m_grid->resizeColumnsToContents();
    m_dialog->show();
    emit comparisonShown();
}

} // namespace kelvar::app
