#include "Controls.h"

#include <QPainter>

void TPanel::SetCaption(const QString& caption)
{
    m_caption = caption;
    update();
}

void TPanel::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (m_caption.isEmpty())
        return;
    QPainter painter(this);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, m_caption);
}
