#pragma once
// The result indicator on the tool bar (Shape1): hidden, a green or a red
// circle. It only draws what it is told; who tells it follows the engine.

#include "app/EnginePresenter.h"

#include <QColor>
#include <QWidget>

class QToolBar;

namespace kelvar::app {

class TShape : public QWidget
{
    Q_OBJECT
public:
    explicit TShape(QWidget *parent = nullptr);
    // Adds the indicator to the end of the tool bar, behind a separator, on
    // its panel PanelShape.
    static TShape *addTo(QToolBar *bar);
    void setIndicator(Indicator indicator);
    Indicator indicator() const { return m_indicator; }
    QColor color() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Indicator m_indicator = Indicator::Hidden;
};

} // namespace kelvar::app
